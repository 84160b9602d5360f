#include "TestKVE/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TestKVE/command_line.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/interactive_line.h"
#include "TestKVE/number_warnings.h"
#include "TestKVE/option_handlers.h"
#include "TestKVE/pattern_loop.h"
#include "TestKVE/perf_markers.h"
#include "TestKVE/run_recorder.h"
#include "TestKVE/service_mode.h"
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
  if (line.HasOption("QA"))
    return x64 ? "vxr64_qa.exe" : "vxr_qa.exe";
  if (line.HasOption("MEM"))
    return x64 ? "vxr64_mem.exe" : "vxr_mem.exe";
  return x64 ? "vxr64.exe" : "vxr.exe";
}

void Prompt() {
  std::printf("TestKVE> ");
  std::fflush(stdout);
}

void RunStressPass(EngineClient& client, const CommandLine& line, uint32_t pass) {
  std::printf("Run stress: %u round\n", pass);
  client.set_debug(DebugTrace);
  client.VXRInitLib(EngineDir, EngineExeName);
  client.VXRInitScanContext();
  ApplyOptions(client, line);
  RunPatternLoop(client, line);
  MarkEngineLaunch();
  client.VXRExecute(0);
  MarkEngineFinish();
  DrainExtraOutput(line);
  client.Quit();
  FinishMonitoredPass();
}

}  // namespace

void SelectEngine(const CommandLine& line) {
  if (line.HasOption("DEBUG"))
    DebugTrace = 1;
  std::string folder = OptionValue(line, "VXRPATH");
  CopyToField(EngineDir, folder.empty() ? "." : folder);
  CopyToField(EngineExeName, EngineNameFor(line));
  std::printf("Set VXR.exe file path: %s\n", EngineDir);
  std::printf("Set VXR.exe file name: %s\n", EngineExeName);
  if (line.HasOption("PERFMON"))
    StartPerfMonitor();
}

int RunInteractive(const CommandLine& line) {
  if (!line.HasOption("INTERACT"))
    return 0;
  EngineClient client;
  AttachRunControl(client);
  client.set_debug(DebugTrace);
  client.VXRInitLib(EngineDir, EngineExeName);
  client.VXRInitScanContext();
  InteractiveMode = 1;
  std::printf("Enable Interactive Mode...\n");
  Prompt();
  char text[kInteractiveLineSize];
  while (ReadInteractiveLine(stdin, text)) {
    CommandLine typed(text);
    PrintUsage(typed);
    WarnAboutTypedNumbers(typed);
    RunPatternLoop(client, typed);
    ApplyOptions(client, typed);
    if (typed.HasOption("EXECUTE"))
      client.VXRExecute(0);
    if (typed.HasOption("QUIT"))
      break;
    Prompt();
  }
  client.Quit();
  std::exit(ExitStatus(FinishRunRecords()));
}

int RunStress(const CommandLine& line) {
  EngineClient client;
  AttachRunControl(client);
  if (line.HasOption("SERVICE")) {
    RunServiceMode();
    return 0;
  }
  // Read as unsigned, so /RUN=-1 asks for 4294967295 passes.
  uint32_t passes = static_cast<uint32_t>(ReadDecimalOption(line, "RUN", 1));
  for (uint64_t pass = 1; pass <= passes; ++pass)
    RunStressPass(client, line, static_cast<uint32_t>(pass));
  return 0;
}

int RunTestKVE(const char* command_line_text) {
  CommandLine line(command_line_text);
  PrintBanner(line);
  PrintUsage(line);
  WarnAboutRunNumbers(line);
  ResetDriverState();
  SelectEngine(line);
  StartRunRecords(line, command_line_text);
  RunInteractive(line);
  RunStress(line);
  std::fflush(stdout);
  return FinishRunRecords();
}
