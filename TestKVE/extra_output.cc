#include "TestKVE/extra_output.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/harness.h"
#include "TestKVE/stop_signal.h"
#include "command_text/command_line.h"
#include "platform/environment.h"
#include "vxr_contract.h"

namespace {

// A slot that is already open stays in `*slot` when the new one cannot be made: in interactive
// mode a second /DLL must not take the first slot away from the engine. The slot is this run's
// own, so another run of the user serving the same name mixes nothing in; the engines this run
// starts learn where it is from their environment. A slot that cannot be made is told on standard
// error and counts as a failure for /STRICT.
bool CreateSlot(const char* name, platform::MailslotServer* slot, RunTally& tally) {
  platform::Error error;
  platform::MailslotServer created = platform::MailslotServer::CreateForRun(name, &error);
  if (!created.is_open()) {
    if (slot->is_open()) return false;  // this harness serves it already
    if (error.kind == platform::ErrorKind::kDenied) {
      std::fprintf(stderr, "TestKVE: cannot serve %s: %s, so no engine message can arrive\n", name, error.text.c_str());
    } else {
      std::fprintf(stderr, "TestKVE: cannot serve %s: %s\n", name, error.text.c_str());
    }
    tally.NoteFailure();
    return false;
  }
  *slot = std::move(created);
  platform::SetEnvironmentValue(kMailslotFolderVariable, platform::RunMailslotFolder().string().c_str());
  return true;
}

}  // namespace

int OpenExtraOutputSlot(EngineClient& client, const CommandLine& line, Harness& harness) {
  if (!line.HasOption("DLL")) return 0;
  CreateSlot(kExtraOutputSlotName, &harness.slots.extra_output, harness.tally);
  client.VXRSetStringInfo(VXR_STR_EXTRA_OUTPUTS, kExtraOutputModuleName);
  return 1;
}

int OpenPatternNameSlot(EngineClient& client, const CommandLine& line, Harness& harness) {
  if (!line.HasOption("PL")) return 0;
  if (!CreateSlot(kPatternNameSlotName, &harness.slots.pattern_names, harness.tally)) {
    std::printf("Open Mailsoilt2 Fail!!\n");
  }
  client.VXRSetStringInfo(VXR_STR_EXTRA_OUTPUTS, kExtraOutputModuleName);
  return 1;
}

RunFlow RunPatternList(EngineClient& client, const CommandLine& line, RunMailslots& slots) {
  if (!line.HasOption("PL")) return RunFlow::kContinue;
  std::printf("Enable Pattern List Mode\n");
  client.VXRSetValueInfo(VXR_INT_EXECUTE_MODE, DUMP_PATTERNS_ONLY);
  client.VXRExecute(0);
  if (FlowAfterEngineRun(client) == RunFlow::kStopped) return RunFlow::kStopped;
  ReadMailslot(slots.pattern_names, [](uint32_t count, const std::string& name) {
    std::printf("Pattern List(%d): %s\n", static_cast<int32_t>(count), name.c_str());
  });
  return RunFlow::kEndRun;
}

void DrainExtraOutput(const CommandLine& line, RunMailslots& slots) {
  if (!line.HasOption("DLL")) return;
  ReadMailslot(slots.extra_output, [](uint32_t, const std::string& message) { std::printf("%s", message.c_str()); });
}

void ReadMailslot(platform::MailslotServer& slot, const MailslotPrinter& print) {
  platform::MailslotInfo info{0, 0};
  platform::Error error;
  if (slot.Query(&info, &error) && info.next_size != platform::kMailslotNoMessage) {
    std::string message;
    // A failed query or read ends the loop: the counts it would leave behind are stale.
    while (info.count != 0) {
      uint32_t count = info.count;
      message.clear();
      if (!slot.Read(&message)) break;
      print(count, message);
      info = {0, 0};
      if (!slot.Query(&info, &error)) break;
    }
  }
  slot.Close();
}
