// The harness's main program: engine choice, interactive mode and the stress run loop.
#pragma once

#include <cstddef>

#include "TestKVE/driver_state.h"
#include "TestKVE/exit_status.h"

class CommandLine;
struct Harness;

/// Sets the state's DebugTrace, fills and prints its EngineDir and EngineExeName, and on
/// /PERFMON starts the monitor that watches the harness's run.
void SelectEngine(const CommandLine& line, Harness& harness);

/// Without /INTERACT the run goes on at once (kContinue). Otherwise applies typed lines to one
/// open scan context until /QUIT, the end of input or a handler that ends the run, quits the
/// client and ends the run (kEndRun); kStopped when a stop signal ended an engine run.
RunFlow RunInteractive(const CommandLine& line, Harness& harness);

/// Service mode with /SERVICE, else the stress passes of /RUN (one by default), until the last
/// pass or a handler that ends the run (kEndRun); kStopped when a stop signal ended an engine
/// run.
RunFlow RunStress(const CommandLine& line, Harness& harness);

/// The whole run on the process command line text, with one Harness object, up to where a mode
/// or a handler ends it, and the run's records finished. Returns how the run ended: its own
/// verdict (RunTally::HarnessExitStatus: 1 under /STRICT when anything failed, else 0), the stop
/// signal that ended it and whether standard output was lost (`output_lost`: it was closed
/// when the harness started); the exit status itself is main's to decide (ExitStatus).
/// Options that the harness does not know draw one warning each on standard error, except
/// those that begin within the first `program_length` bytes of the text (the program's own
/// path); under /STRICT they end the harness before anything runs, with
/// kExitUnknownOption.
RunEnd RunTestKVE(const char* command_line_text, size_t program_length = 0, bool output_lost = false);
