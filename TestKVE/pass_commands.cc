#include "TestKVE/pass_commands.h"

#include <cstdio>
#include <string>

#include "TestKVE/harness.h"
#include "command_text/command_line.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/stop_signals.h"

namespace {

std::string FailureOf(const platform::ProcessOutcome& outcome) {
  using Kind = platform::ProcessOutcome::Kind;
  const std::string code = std::to_string(outcome.code);
  switch (outcome.kind) {
    case Kind::kNotStarted:
      return "not started (system error " + code + ")";
    case Kind::kExited:
      return "exit status " + code;
    case Kind::kSignaled:
      return "ended by signal " + code;
    case Kind::kWaitFailed:
      break;
  }
  return "lost while waiting (system error " + code + ")";
}

std::string PassName(uint32_t pass, bool warm_up) {
  return (warm_up ? "warm-up pass " : "pass ") + std::to_string(pass);
}

}  // namespace

PassCommandOutcome RunPassCommand(const std::string& command, uint32_t pass, bool warm_up) {
  platform::SetEnvironmentValue("TESTKVE_PASS", std::to_string(pass).c_str());
  platform::SetEnvironmentValue("TESTKVE_WARMUP", warm_up ? "1" : "0");
  // The command writes to the same terminal; what the harness printed must come first.
  std::fflush(stdout);
  platform::StopSignalRelay relay;
  platform::ChildProcess child = platform::ChildProcess::SpawnShell(command);
  relay.Watch(child, false);
  const platform::ProcessOutcome outcome = child.Wait();
  PassCommandOutcome result;
  result.stop_signal = relay.relayed();
  result.succeeded = outcome.kind == platform::ProcessOutcome::Kind::kExited && outcome.code == 0;
  if (!result.succeeded) result.failure = FailureOf(outcome);
  return result;
}

RunFlow PreparePass(const CommandLine& line, Harness& harness, uint32_t pass, bool warm_up) {
  const std::string command = OptionValue(line, "PREPARE");
  if (command.empty()) return RunFlow::kContinue;
  const PassCommandOutcome outcome = RunPassCommand(command, pass, warm_up);
  if (outcome.stop_signal != 0) {
    harness.tally.NoteStop(outcome.stop_signal);
    return RunFlow::kStopped;
  }
  if (outcome.succeeded) return RunFlow::kContinue;
  std::fprintf(stderr, "testkve: /PREPARE failed before %s (%s); the engine does not run in it\n",
               PassName(pass, warm_up).c_str(), outcome.failure.c_str());
  harness.records.RecordNotRun(warm_up, outcome.failure);
  if (!warm_up) harness.tally.NoteFailure();
  return RunFlow::kEndRun;
}

RunFlow CleanUpAfterPass(const CommandLine& line, Harness& harness, uint32_t pass, bool warm_up) {
  const std::string command = OptionValue(line, "CLEANUP");
  if (command.empty()) return RunFlow::kContinue;
  const PassCommandOutcome outcome = RunPassCommand(command, pass, warm_up);
  if (outcome.stop_signal != 0) {
    harness.tally.NoteStop(outcome.stop_signal);
    return RunFlow::kStopped;
  }
  if (outcome.succeeded) return RunFlow::kContinue;
  std::fprintf(stderr, "testkve: /CLEANUP failed after %s (%s)\n", PassName(pass, warm_up).c_str(),
               outcome.failure.c_str());
  if (!warm_up) harness.tally.NoteFailure();
  return RunFlow::kContinue;
}
