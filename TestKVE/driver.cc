#include "TestKVE/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "TestKVE/command_line.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/interactive_line.h"
#include "TestKVE/number_warnings.h"
#include "TestKVE/option_handlers.h"
#include "TestKVE/pattern_loop.h"
#include "TestKVE/perf_markers.h"
#include "TestKVE/run_recorder.h"
#include "TestKVE/service_mode.h"
#include "TestKVE/stop_signal.h"
#include "TestKVE/usage.h"

namespace {

// Copies `text` into a 260-byte field, cut so that it always fits with its terminator.
void CopyToField(char (&field)[kPathFieldSize], const std::string& text) {
  size_t length = std::min(text.size(), kPathFieldSize - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

const char* EngineNameFor(const CommandLine& line) {
  bool x64 = line.HasOption("X64");
  if (line.HasOption("QA")) return x64 ? "vxr64_qa.exe" : "vxr_qa.exe";
  if (line.HasOption("MEM")) return x64 ? "vxr64_mem.exe" : "vxr_mem.exe";
  return x64 ? "vxr64.exe" : "vxr.exe";
}

void Prompt() {
  std::printf("TestKVE> ");
  std::fflush(stdout);
}

// Ends the run that `flow` ended, or that ran out of lines or passes: the owner quits its
// client, except after a stop signal, when nothing more of the run happens.
RunFlow EndRun(EngineClient& client, RunFlow flow) {
  if (flow == RunFlow::kStopped) return flow;
  client.Quit();
  return RunFlow::kEndRun;
}

// One typed line, in interactive mode's order: the pattern loop before the option handlers.
// kEndRun at /QUIT or when a handler ended the run.
RunFlow RunTypedLine(EngineClient& client, const char* text, HarnessState& state) {
  CommandLine typed(text);
  if (RunFlow flow = PrintUsage(typed, state); flow != RunFlow::kContinue) return flow;
  WarnAboutTypedNumbers(typed);
  RunPatternLoop(client, typed, state);
  if (RunFlow flow = ApplyOptions(client, typed, state); flow != RunFlow::kContinue) return flow;
  if (typed.HasOption("EXECUTE")) {
    client.VXRExecute(0);
    if (FlowAfterEngineRun() == RunFlow::kStopped) return RunFlow::kStopped;
  }
  return typed.HasOption("QUIT") ? RunFlow::kEndRun : RunFlow::kContinue;
}

RunFlow RunStressPass(EngineClient& client, const CommandLine& line, HarnessState& state, uint32_t pass) {
  std::printf("Run stress: %u round\n", pass);
  client.set_debug(state.DebugTrace);
  client.VXRInitLib(state.EngineDir, state.EngineExeName);
  client.VXRInitScanContext();
  if (RunFlow flow = ApplyOptions(client, line, state); flow != RunFlow::kContinue) return EndRun(client, flow);
  RunPatternLoop(client, line, state);
  MarkEngineLaunch();
  client.VXRExecute(0);
  if (FlowAfterEngineRun() == RunFlow::kStopped) return RunFlow::kStopped;
  MarkEngineFinish();
  DrainExtraOutput(line);
  client.Quit();
  FinishMonitoredPass();
  return RunFlow::kContinue;
}

}  // namespace

void SelectEngine(const CommandLine& line, HarnessState& state) {
  if (line.HasOption("DEBUG")) state.DebugTrace = 1;
  std::string folder = OptionValue(line, "VXRPATH");
  CopyToField(state.EngineDir, folder.empty() ? "." : folder);
  CopyToField(state.EngineExeName, EngineNameFor(line));
  std::printf("Set VXR.exe file path: %s\n", state.EngineDir);
  std::printf("Set VXR.exe file name: %s\n", state.EngineExeName);
  if (line.HasOption("PERFMON")) StartPerfMonitor(state.EngineExeName);
}

RunFlow RunInteractive(const CommandLine& line, HarnessState& state) {
  if (!line.HasOption("INTERACT")) return RunFlow::kContinue;
  EngineClient client;
  AttachRunControl(client);
  client.set_debug(state.DebugTrace);
  client.VXRInitLib(state.EngineDir, state.EngineExeName);
  client.VXRInitScanContext();
  state.InteractiveMode = 1;
  std::printf("Enable Interactive Mode...\n");
  Prompt();
  char text[kInteractiveLineSize];
  RunFlow flow = RunFlow::kContinue;
  while (flow == RunFlow::kContinue && ReadInteractiveLine(stdin, text)) {
    flow = RunTypedLine(client, text, state);
    if (flow == RunFlow::kContinue) Prompt();
  }
  return EndRun(client, flow);
}

RunFlow RunStress(const CommandLine& line, HarnessState& state) {
  EngineClient client;
  AttachRunControl(client);
  if (line.HasOption("SERVICE")) {
    RunServiceMode();
    return RunFlow::kEndRun;
  }
  // Read as unsigned, so /RUN=-1 asks for 4294967295 passes.
  uint32_t passes = static_cast<uint32_t>(ReadDecimalOption(line, "RUN", 1));
  for (uint64_t pass = 1; pass <= passes; ++pass) {
    if (RunFlow flow = RunStressPass(client, line, state, static_cast<uint32_t>(pass)); flow != RunFlow::kContinue)
      return flow;
  }
  return RunFlow::kEndRun;
}

int RunTestKVE(const char* command_line_text) {
  CommandLine line(command_line_text);
  HarnessState state;
  PrintBanner(line);
  if (PrintUsage(line, state) != RunFlow::kContinue) return 0;
  WarnAboutRunNumbers(line);
  ResetDriverState(state);
  SelectEngine(line, state);
  StartRunRecords(line, command_line_text, state);
  RunFlow flow = RunInteractive(line, state);
  if (flow == RunFlow::kContinue) flow = RunStress(line, state);
  // A stop signal leaves the records as the last engine run left them; the report pages
  // still show the passes that ran.
  if (flow == RunFlow::kStopped) {
    FinishStoppedRunRecords();
    return 0;
  }
  return FinishRunRecords();
}
