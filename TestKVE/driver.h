// The harness's main program: engine choice, interactive mode and the stress run loop.
#pragma once

#include <cstddef>
#include <memory>

#include "TestKVE/driver_state.h"
#include "perf_monitor/perf_mon.h"

class CommandLine;

/// Sets the state's DebugTrace, fills and prints its EngineDir and EngineExeName, starts the
/// monitor on /PERFMON and hands it to the caller, whose run it watches (null without one).
std::unique_ptr<PerfMonitor> SelectEngine(const CommandLine& line, HarnessState& state);

/// Without /INTERACT the run goes on at once (kContinue). Otherwise applies typed lines to one
/// open scan context until /QUIT, the end of input or a handler that ends the run, quits the
/// client and ends the run (kEndRun); kStopped when a stop signal ended an engine run.
RunFlow RunInteractive(const CommandLine& line, HarnessState& state);

/// Service mode with /SERVICE, else the stress passes of /RUN (one by default), until the last
/// pass or a handler that ends the run (kEndRun); kStopped when a stop signal ended an engine
/// run.
RunFlow RunStress(const CommandLine& line, HarnessState& state);

/// The whole run on the process command line text, with one state object, up to where a mode
/// or a handler ends it, and the run's records finished. Returns the run's own verdict for the
/// exit status (HarnessExitStatus: 1 under /STRICT when anything failed, else 0); the exit
/// status itself is main's to decide (ExitStatus).
/// Options that the harness does not know draw one warning each on standard error, except
/// those that begin within the first `program_length` bytes of the text (the program's own
/// path); under /STRICT they end the harness before anything runs, with
/// kExitUnknownOption.
int RunTestKVE(const char* command_line_text, size_t program_length = 0);
