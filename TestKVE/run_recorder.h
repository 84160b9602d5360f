// Run control for the whole process, from the options of the process command line:
// /TIMEOUT bounds every engine run, /JSON and /JUNIT record the runs, /SUMMARY prints their
// summary, /REPORT and /MARKDOWN write pages about them, /STRICT makes the exit status tell
// whether everything succeeded.
#pragma once

#include "TestKVE/driver_state.h"

class CommandLine;
class EngineClient;

/// Reads the run-control options of the process command line `line` (read from `text`).
/// With /JSON, opens its file and writes the run's first line; a file that cannot be opened
/// is named on standard error and the run goes on without it.
void StartRunRecords(const CommandLine& line, const char* text, const HarnessState& state);

/// Gives `client` the time limit of /TIMEOUT and has every engine run it makes recorded.
void AttachRunControl(EngineClient& client);

/// Ends the records (the summary line of /JSON, the report of /JUNIT, the summary of
/// /SUMMARY, the pages of /REPORT and /MARKDOWN), marked as interrupted when a stop signal
/// ended the run, and returns the run's verdict for the exit status (HarnessExitStatus). Called
/// once, where the run ends. A record that cannot be opened or written is named on standard
/// error and counts as a failure.
int FinishRunRecords(bool interrupted);
