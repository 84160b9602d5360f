// A stop signal (SIGINT, SIGTERM, SIGHUP) that arrived while an engine ran: the library has ended
// and reaped the engine by then and says so in the run's result, and the run goes no further.
#pragma once

#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"

/// Asked after every engine run of `client`: kStopped when a stop signal ended it (the client
/// has noted it in its tally for the exit status), else kContinue. After kStopped nothing more
/// of the run happens, and the exit status is 128 + the signal number (ExitStatus), as a shell
/// reports a process that the signal ended.
RunFlow FlowAfterEngineRun(const EngineClient& client);
