// The harness's main program: engine choice, interactive mode and the stress run loop.
#pragma once

class CommandLine;

/// Sets DebugTrace, fills and prints EngineDir and EngineExeName, starts the monitor on
/// /PERFMON.
void SelectEngine(const CommandLine& line);

/// Returns 0 at once without /INTERACT; otherwise applies typed lines to one open scan
/// context until /QUIT or the end of input and ends the process with exit code 0.
int RunInteractive(const CommandLine& line);

/// Service mode with /SERVICE, else the stress passes of /RUN (one by default). Returns 0.
int RunStress(const CommandLine& line);

/// The whole program on the process command line text; returns the exit code.
int RunTestKVE(const char* command_line_text);
