// A tiny engine: reads the settings that the harness hands over, prints what it got, sends one
// message to the harness when it asked for extra output, and ends with a named engine exit
// code, so the harness shows that the code came back as well.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine_sdk/engine_settings.h"
#include "engine_sdk/mailslot_writer.h"
#include "vxr_lib.h"

int main(int argc, char** argv) {
  const std::span<const char* const> arguments(argv + 1, static_cast<size_t>(argc - 1));
  std::string error;
  std::optional<engine_sdk::BlockLocation> location = engine_sdk::FindBlockLocation(arguments, &error);
  std::vector<engine_sdk::EngineSetting> settings;
  if (!location || engine_sdk::ReadEngineSettings(*location, &settings, &error) != engine_sdk::ReadStatus::kOk) {
    std::fprintf(stderr, "tiny engine: %s\n", error.c_str());
    return 1;
  }
  int32_t mode = 0;
  bool extra_output = false;
  for (const engine_sdk::EngineSetting& setting : settings) {
    if (setting.id == VXR_INT_EXECUTE_MODE) mode = setting.value;
    if (setting.id == VXR_STR_EXTRA_OUTPUTS && setting.text == "KVPExtOutput.DLL") extra_output = true;
  }
  std::printf("tiny engine: %zu settings, execute mode 0x%08X\n", settings.size(), static_cast<unsigned>(mode));
  std::fflush(stdout);
  if (extra_output && !engine_sdk::SendMailslotMessage(engine_sdk::kExtraOutputSlot,
                                                       "tiny engine: hello through the mailslot\n", &error)) {
    std::fprintf(stderr, "tiny engine: %s\n", error.c_str());
  }
  return static_cast<int>(VXR_RET_REBOOT_MACHINE);
}
