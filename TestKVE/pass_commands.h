// The commands of /PREPARE and /CLEANUP: run through the system's shell before and after every
// stress pass, outside the engine's timing, so that every pass meets the state its user set up
// (a corpus restored, a service reset) instead of what the pass before left.
#pragma once

#include <cstdint>
#include <string>

#include "TestKVE/driver_state.h"

class CommandLine;
struct Harness;

/// How one command ended.
struct PassCommandOutcome {
  bool succeeded = false;
  std::string failure;  ///< "exit status 1", "ended by signal 9", "not started (system error 2)"
  int stop_signal = 0;  ///< a stop of the harness that came while it ran (and ended it), or 0
};

/// Runs `command` through the system's shell, sharing the harness's terminal, with
/// TESTKVE_PASS=<pass> and TESTKVE_WARMUP=1 for a warm-up pass, else 0, in its environment
/// (which the engine started after it also inherits), and waits for it. A stop of the harness
/// while it runs ends it first.
PassCommandOutcome RunPassCommand(const std::string& command, uint32_t pass, bool warm_up);

/// Runs /PREPARE of `line` (nothing without it) before pass `pass`. kContinue when the pass may
/// run its engine. When the command fails, the failure is told on standard error, the pass is
/// recorded as not run and counts for /STRICT (a warm-up pass does not), and the answer is
/// kEndRun: this pass ends, and the run goes on with the next one. kStopped when a stop signal
/// ended it (noted in the run's tally).
RunFlow PreparePass(const CommandLine& line, Harness& harness, uint32_t pass, bool warm_up);

/// Runs /CLEANUP of `line` (nothing without it) after pass `pass`; a failure is told on standard
/// error and counts for /STRICT (not after a warm-up pass). kStopped when a stop signal ended it,
/// else kContinue.
RunFlow CleanUpAfterPass(const CommandLine& line, Harness& harness, uint32_t pass, bool warm_up);
