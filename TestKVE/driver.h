// The harness's main program: engine choice, interactive mode and the stress run loop.
#pragma once

#include "TestKVE/driver_state.h"

class CommandLine;

/// Sets the state's DebugTrace, fills and prints its EngineDir and EngineExeName, starts the
/// monitor on /PERFMON.
void SelectEngine(const CommandLine& line, HarnessState& state);

/// Without /INTERACT the run goes on at once (kContinue). Otherwise applies typed lines to one
/// open scan context until /QUIT, the end of input or a handler that ends the run, quits the
/// client and ends the run (kEndRun).
RunFlow RunInteractive(const CommandLine& line, HarnessState& state);

/// Service mode with /SERVICE, else the stress passes of /RUN (one by default), until the last
/// pass or a handler that ends the run.
void RunStress(const CommandLine& line, HarnessState& state);

/// The whole run on the process command line text, with one state object, up to where a mode
/// or a handler ends it. Choosing the exit code is left to the caller.
void RunTestKVE(const char* command_line_text);
