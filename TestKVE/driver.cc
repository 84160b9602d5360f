#include "TestKVE/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "TestKVE/command_line.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/option_handlers.h"
#include "TestKVE/pattern_loop.h"
#include "TestKVE/perf_markers.h"
#include "TestKVE/service_mode.h"
#include "TestKVE/usage.h"

namespace {

constexpr size_t kInteractiveLineSize = 1024;

// Copies `text` into a 260-byte field, cut so that it always fits with its terminator.
void CopyToField(char (&field)[kPathFieldSize], const std::string& text) {
  size_t length = std::min(text.size(), kPathFieldSize - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

const char* EngineNameFor(const CommandLine& line) {
  bool x64 = line.HasOption("X64");
  if (line.HasOption("QA"))
    return x64 ? "vxr64_qa.exe" : "vxr_qa.exe";
  if (line.HasOption("MEM"))
    return x64 ? "vxr64_mem.exe" : "vxr_mem.exe";
  return x64 ? "vxr64.exe" : "vxr.exe";
}

// Reads one line from standard input into a 1024-byte buffer: up to a line feed (dropped) or
// the end of input; the rest of a longer line is read and dropped. False when there is none.
bool ReadInteractiveLine(char (&line)[kInteractiveLineSize]) {
  size_t length = 0;
  bool any = false;
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    any = true;
    if (c == '\n')
      break;
    if (length + 1 < kInteractiveLineSize)
      line[length++] = static_cast<char>(c);
  }
  line[length] = '\0';
  return any;
}

void Prompt() {
  std::printf("TestKVE> ");
  std::fflush(stdout);
}

// One typed line, in interactive mode's order: the pattern loop before the option handlers.
// kEndRun at /QUIT or when a handler ended the run.
RunFlow RunTypedLine(EngineClient& client, const char* text, HarnessState& state) {
  CommandLine typed(text);
  if (PrintUsage(typed, state) == RunFlow::kEndRun)
    return RunFlow::kEndRun;
  RunPatternLoop(client, typed, state);
  if (ApplyOptions(client, typed, state) == RunFlow::kEndRun)
    return RunFlow::kEndRun;
  if (typed.HasOption("EXECUTE"))
    client.VXRExecute(0);
  return typed.HasOption("QUIT") ? RunFlow::kEndRun : RunFlow::kContinue;
}

RunFlow RunStressPass(EngineClient& client, const CommandLine& line, HarnessState& state,
                      uint32_t pass) {
  std::printf("Run stress: %u round\n", pass);
  client.set_debug(state.DebugTrace);
  client.VXRInitLib(state.EngineDir, state.EngineExeName);
  client.VXRInitScanContext();
  if (ApplyOptions(client, line, state) == RunFlow::kEndRun) {
    client.Quit();
    return RunFlow::kEndRun;
  }
  RunPatternLoop(client, line, state);
  MarkEngineLaunch();
  client.VXRExecute(0);
  MarkEngineFinish();
  DrainExtraOutput(line);
  client.Quit();
  FinishMonitoredPass();
  return RunFlow::kContinue;
}

}  // namespace

void SelectEngine(const CommandLine& line, HarnessState& state) {
  if (line.HasOption("DEBUG"))
    state.DebugTrace = 1;
  std::string folder = OptionValue(line, "VXRPATH");
  CopyToField(state.EngineDir, folder.empty() ? "." : folder);
  CopyToField(state.EngineExeName, EngineNameFor(line));
  std::printf("Set VXR.exe file path: %s\n", state.EngineDir);
  std::printf("Set VXR.exe file name: %s\n", state.EngineExeName);
  if (line.HasOption("PERFMON"))
    StartPerfMonitor();
}

RunFlow RunInteractive(const CommandLine& line, HarnessState& state) {
  if (!line.HasOption("INTERACT"))
    return RunFlow::kContinue;
  EngineClient client;
  client.set_debug(state.DebugTrace);
  client.VXRInitLib(state.EngineDir, state.EngineExeName);
  client.VXRInitScanContext();
  state.InteractiveMode = 1;
  std::printf("Enable Interactive Mode...\n");
  Prompt();
  char text[kInteractiveLineSize];
  while (ReadInteractiveLine(text) && RunTypedLine(client, text, state) == RunFlow::kContinue)
    Prompt();
  client.Quit();
  return RunFlow::kEndRun;
}

void RunStress(const CommandLine& line, HarnessState& state) {
  EngineClient client;
  if (line.HasOption("SERVICE")) {
    RunServiceMode();
    return;
  }
  // Read as unsigned, so /RUN=-1 asks for 4294967295 passes.
  uint32_t passes = static_cast<uint32_t>(ReadDecimalOption(line, "RUN", 1));
  for (uint64_t pass = 1; pass <= passes; ++pass) {
    if (RunStressPass(client, line, state, static_cast<uint32_t>(pass)) == RunFlow::kEndRun)
      return;
  }
}

void RunTestKVE(const char* command_line_text) {
  CommandLine line(command_line_text);
  HarnessState state;
  PrintBanner(line);
  if (PrintUsage(line, state) == RunFlow::kEndRun)
    return;
  ResetDriverState(state);
  SelectEngine(line, state);
  if (RunInteractive(line, state) == RunFlow::kEndRun)
    return;
  RunStress(line, state);
}
