#include "TestKVE/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TestKVE/ab_comparison.h"
#include "TestKVE/ab_sides.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/harness.h"
#include "TestKVE/interactive_line.h"
#include "TestKVE/known_options.h"
#include "TestKVE/misplaced_options.h"
#include "TestKVE/number_warnings.h"
#include "TestKVE/option_handlers.h"
#include "TestKVE/pass_commands.h"
#include "TestKVE/pattern_loop.h"
#include "TestKVE/perf_markers.h"
#include "TestKVE/progress_line.h"
#include "TestKVE/run_recorder.h"
#include "TestKVE/service_mode.h"
#include "TestKVE/stop_signal.h"
#include "TestKVE/usage.h"
#include "command_text/command_line.h"
#include "platform/folder_entry.h"
#include "platform/path.h"
#include "platform/stop_signals.h"

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

// One warning on standard error for each option in `text` that the harness does not know,
// except those that begin within its first `program_length` bytes; returns how many.
int WarnAboutUnknownOptions(std::string_view text, size_t program_length) {
  const std::vector<std::string> warnings = UnknownOptionWarnings(text, program_length);
  for (const std::string& warning : warnings) std::fprintf(stderr, "testkve: warning: %s\n", warning.c_str());
  return static_cast<int>(warnings.size());
}

// One typed line, in interactive mode's order: the pattern loop before the option handlers.
// kEndRun at /QUIT or when a handler ended the run.
RunFlow RunTypedLine(EngineClient& client, const char* text, Harness& harness) {
  CommandLine typed(text);
  if (RunFlow flow = PrintUsage(typed, harness.state); flow != RunFlow::kContinue) return flow;
  harness.tally.NoteFailure(WarnAboutUnknownOptions(text, 0) + WarnAboutTypedNumbers(typed));
  RunPatternLoop(client, typed, harness.state);
  if (RunFlow flow = ApplyOptions(client, typed, harness); flow != RunFlow::kContinue) return flow;
  if (typed.HasOption("EXECUTE")) {
    client.VXRExecute(0);
    if (FlowAfterEngineRun(client) == RunFlow::kStopped) return RunFlow::kStopped;
  }
  return typed.HasOption("QUIT") ? RunFlow::kEndRun : RunFlow::kContinue;
}

// The library answers a missing engine file as an invalid one (VXR_LIB_INVALID_VXREXE); the
// user learns once which file was looked for, and where.
void TellMissingEngine(VXRResult init_result, const char* engine_dir, HarnessState& state) {
  if (init_result != VXR_LIB_INVALID_VXREXE || state.MissingEngineTold) return;
  std::string path = engine_dir;
  if (!path.ends_with('/')) path += '/';
  path += state.EngineExeName;
  if (!platform::NothingAt(platform::ResolveEntryIgnoringCase(path))) return;
  state.MissingEngineTold = true;
  // The folder's "." entry comes back without a final separator; a root keeps its own.
  const std::optional<std::string> folder = AbsolutePath(std::string(engine_dir) + "/.");
  std::fprintf(stderr, "testkve: no engine file %s in the engine folder %s (set it with /VXRPATH=)\n",
               state.EngineExeName, folder ? folder->c_str() : state.EngineDir);
}

// The engine folder of engine run `run` (0, 1, ...): with /AB the side's, named on a line of
// its own and in the run's record.
const char* ChooseSide(Harness& harness, uint64_t run) {
  HarnessState& state = harness.state;
  if (state.AbEngineDir.empty()) return state.EngineDir;
  const AbTurn turn = AbTurnOf(run);
  const char* folder = turn.side == 'A' ? state.EngineDir : state.AbEngineDir.c_str();
  std::printf("Side %c: engine folder %s\n", turn.side, folder);
  harness.records.SetSide(turn.side, turn.pair);
  return folder;
}

// Engine run `run` (0, 1, ...) of the stress run, of its warm-up with `warm_up`: its preparation,
// the engine run and its clean-up. A pass whose preparation failed ends there, and the run goes on.
RunFlow RunStressPass(EngineClient& client, const CommandLine& line, Harness& harness, uint64_t run, bool warm_up) {
  HarnessState& state = harness.state;
  const auto pass = static_cast<uint32_t>(run + 1);
  if (warm_up)
    std::printf("Warm-up: %u round\n", pass);
  else
    std::printf("Run stress: %u round\n", pass);
  const char* engine_dir = ChooseSide(harness, run);
  client.set_warm_up(warm_up);
  if (RunFlow flow = PreparePass(line, harness, pass, warm_up); flow != RunFlow::kContinue)
    return flow == RunFlow::kStopped ? flow : RunFlow::kContinue;
  client.set_debug(state.DebugTrace);
  TellMissingEngine(client.VXRInitLib(engine_dir, state.EngineExeName), engine_dir, state);
  client.VXRInitScanContext();
  if (RunFlow flow = ApplyOptions(client, line, harness); flow != RunFlow::kContinue) return EndRun(client, flow);
  RunPatternLoop(client, line, state);
  // A stop that came during the steps before starts no engine.
  if (StopCame(harness.tally)) return RunFlow::kStopped;
  MarkEngineLaunch(harness.monitor.get());
  client.VXRExecute(0);
  if (FlowAfterEngineRun(client) == RunFlow::kStopped) return RunFlow::kStopped;
  MarkEngineFinish(harness.monitor.get());
  DrainExtraOutput(line, harness.slots);
  client.Quit();
  FinishMonitoredPass(harness.monitor.get());
  // The clean-up restores what the pass changed, also when a stop cut the pass short.
  const RunFlow flow = CleanUpAfterPass(line, harness, pass, warm_up);
  return StopCame(harness.tally) ? RunFlow::kStopped : flow;
}

}  // namespace

void SelectEngine(const CommandLine& line, Harness& harness) {
  HarnessState& state = harness.state;
  if (line.HasOption("DEBUG")) state.DebugTrace = 1;
  std::string folder = OptionValue(line, "VXRPATH");
  CopyToField(state.EngineDir, folder.empty() ? "." : folder);
  CopyToField(state.EngineExeName, EngineNameFor(line));
  std::printf("Set VXR.exe file path: %s\n", state.EngineDir);
  std::printf("Set VXR.exe file name: %s\n", state.EngineExeName);
  if (line.HasOption("PERFMON")) harness.monitor = StartPerfMonitor(state.EngineExeName);
  std::string ignored;  // RunTestKVE has refused a run whose /AB cannot be read
  state.AbEngineDir = ReadAbOptions(line, &ignored).value_or(AbOptions{}).folder;
}

RunFlow RunInteractive(const CommandLine& line, Harness& harness) {
  if (!line.HasOption("INTERACT")) return RunFlow::kContinue;
  HarnessState& state = harness.state;
  EngineClient client;
  harness.records.Attach(client);
  client.set_debug(state.DebugTrace);
  TellMissingEngine(client.VXRInitLib(state.EngineDir, state.EngineExeName), state.EngineDir, state);
  client.VXRInitScanContext();
  state.InteractiveMode = 1;
  std::printf("Enable Interactive Mode...\n");
  Prompt();
  char text[kInteractiveLineSize];
  RunFlow flow = RunFlow::kContinue;
  // Unbuffered, so that the wait for a line sees everything that is there to read.
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  while (flow == RunFlow::kContinue && platform::WaitForInputUnlessStopped() && ReadInteractiveLine(stdin, text) &&
         !StopCame(harness.tally)) {
    flow = RunTypedLine(client, text, harness);
    if (flow == RunFlow::kContinue) Prompt();
  }
  if (StopCame(harness.tally)) flow = RunFlow::kStopped;
  return EndRun(client, flow);
}

RunFlow RunStress(const CommandLine& line, Harness& harness) {
  EngineClient client;
  harness.records.Attach(client);
  if (line.HasOption("SERVICE")) {
    if (!RunServiceMode()) harness.tally.NoteFailure();
    return RunFlow::kEndRun;
  }
  // Read as unsigned, so /RUN=-1 asks for 4294967295 passes; with /AB each is a pair of runs.
  const uint64_t passes = static_cast<uint32_t>(ReadDecimalOption(line, "RUN", 1));
  const uint64_t runs_per_pass = harness.state.AbEngineDir.empty() ? 1 : 2;
  const uint64_t warm_ups = static_cast<uint32_t>(ReadDecimalOption(line, "WARMUP", 0)) * runs_per_pass;
  for (uint64_t run = 0; run < warm_ups; ++run) {
    if (StopCame(harness.tally)) return RunFlow::kStopped;
    if (RunFlow flow = RunStressPass(client, line, harness, run, true); flow != RunFlow::kContinue) return flow;
  }
  const uint64_t runs = passes * runs_per_pass;
  std::optional<ProgressLine> progress;
  if (runs > 1) progress.emplace(static_cast<uint32_t>(std::min<uint64_t>(runs, UINT32_MAX)));
  uint32_t failed = 0;
  for (uint64_t run = 0; run < runs; ++run) {
    if (StopCame(harness.tally)) return RunFlow::kStopped;
    if (progress) progress->Clear();
    const uint64_t failures_before = harness.tally.failures();
    if (RunFlow flow = RunStressPass(client, line, harness, run, false); flow != RunFlow::kContinue) return flow;
    failed += harness.tally.failures() != failures_before ? 1 : 0;
    if (progress) progress->Show(static_cast<uint32_t>(run + 1), failed);
  }
  return RunFlow::kEndRun;
}

namespace {

// Warns about every option the harness does not know; true when the run may go on.
bool CheckOptions(const CommandLine& line, std::string_view text, size_t program_length) {
  return WarnAboutUnknownOptions(text, program_length) == 0 || !line.HasOption("STRICT");
}

}  // namespace

RunEnd RunTestKVE(const char* command_line_text, size_t program_length, bool output_lost) {
  CommandLine line(command_line_text);
  if (!CheckOptions(line, command_line_text != nullptr ? command_line_text : "", program_length)) {
    return {kExitUnknownOption, 0, output_lost, false};
  }
  if (std::string error; !ReadAbOptions(line, &error)) {
    std::fprintf(stderr, "testkve: %s\n", error.c_str());
    return {kExitUnusableArgument, 0, output_lost, false};
  }
  // From here on a stop ends the run at its next step, with its records written.
  const platform::StopSignalCatcher stops;
  // Every way the run ends (the passes done, /VER, /PL, /QUIT, a stop) leaves this scope: the
  // harness's monitor goes first, and its report rules hold on each.
  Harness harness(output_lost);
  PrintBanner(line);
  if (PrintUsage(line, harness.state) != RunFlow::kContinue) return harness.tally.End(0);
  harness.tally.NoteFailure(WarnAboutRunNumbers(line) + WarnAboutMisplacedOptions(line));
  // Read as unsigned, as /RUN is.
  if (line.HasOption("SEED")) harness.state.RandomSeedBase = static_cast<uint32_t>(ReadDecimalOption(line, "SEED", 0));
  SelectEngine(line, harness);
  harness.records.Start(line, command_line_text, harness.state);
  RunFlow flow = StopCame(harness.tally) ? RunFlow::kStopped : RunInteractive(line, harness);
  if (flow == RunFlow::kContinue) flow = RunStress(line, harness);
  // After a stop signal the records still cover the passes that ran, marked as interrupted.
  return harness.records.Finish(flow == RunFlow::kStopped, harness.monitor.get());
}
