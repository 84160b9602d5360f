// The profile reader on arbitrary INI text, read from a file as the library reads VXR.INI:
// every key the library looks up, then the presets of a scan context made from them.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine_control/config_file.h"
#include "engine_control/library_state.h"
#include "engine_control/scan_context.h"
#include "fuzz/fuzz_support.h"
#include "platform/profile.h"

namespace {

constexpr ProfileKey kLookups[] = {
    {"Options", "PatternDir"},
    {"advanced", "PatternName"},
    {"ADVANCED", "DebugInfoLevel"},
    {"options", "BackupFile"},
    {"", ""},
    {"[options]", "a=b"},
};
constexpr size_t kBufferSizes[] = {1, 2, 260};

void CheckLookups(const ProfileFile& loaded, const ProfileFile& parsed) {
  for (const ProfileKey& lookup : kLookups) {
    for (size_t buffer_size : kBufferSizes) {
      std::string value = loaded.GetString(lookup.section, lookup.key, "fallback", buffer_size);
      FUZZ_CHECK(value.size() < buffer_size);
      FUZZ_CHECK(value.find('\0') == std::string::npos);
      FUZZ_CHECK(value == parsed.GetString(lookup.section, lookup.key, "fallback", buffer_size));
    }
    const std::string* whole = loaded.Find(lookup.section, lookup.key);
    const std::string* parsed_whole = parsed.Find(lookup.section, lookup.key);
    FUZZ_CHECK((whole == nullptr) == (parsed_whole == nullptr));
    FUZZ_CHECK(whole == nullptr || *whole == *parsed_whole);
  }
}

void CheckConfig(const std::string& path) {
  LibraryState state;
  state.set_engine_dir("/opt/engine");
  state.set_config_path(path);
  ConfigFile config(&state);
  if (!config.Read()) return;
  FUZZ_CHECK(state.pattern_dir().starts_with('/'));
  FUZZ_CHECK(state.pattern_dir().size() < kPathFieldSize);
  FUZZ_CHECK(state.pattern_filename().size() < kPathFieldSize);
  ScanContext context("/opt/engine/vxr.exe");
  config.Preset(&context);
  FUZZ_CHECK(context.RebuildRecords());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile file("VXR.INI");
  file.Write({data, size});
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckLookups(ProfileFile::Load(file.path().c_str(), kLookups), ProfileFile::Parse(text));
  CheckConfig(file.path());
  return 0;
}
