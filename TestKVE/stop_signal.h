// A stop signal (SIGINT, SIGTERM, SIGHUP) ends the run wherever it comes: while an engine runs
// the library ends and reaps the engine and says so in the run's result; between passes, in the
// monitor's pauses and at the interactive prompt the driver finds it at its next step. Either
// way the run goes no further, its records are written, marked as interrupted, and the exit
// status is 128 + the signal number, as a shell reports a process that the signal ended.
#pragma once

#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"

/// Asked after every engine run of `client`: kStopped when a stop signal ended it (the client
/// has noted it in its tally for the exit status), else kContinue.
RunFlow FlowAfterEngineRun(const EngineClient& client);

/// Asked between the steps of a run: true when a stop signal has come, which is then noted in
/// `tally` for the exit status.
bool StopCame(RunTally& tally);
