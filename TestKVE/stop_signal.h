// A stop signal (SIGINT, SIGTERM, SIGHUP) that arrived while an engine ran: the engine has been
// ended and reaped by then (platform/stop_signals.h), and the run goes no further.
#pragma once

#include "TestKVE/driver_state.h"

/// Asked after every engine run: kStopped when a stop signal arrived during it, else
/// kContinue. After kStopped nothing more of the run happens, and the exit status is
/// 128 + the signal number (ExitStatus), as a shell reports a process that the signal ended.
RunFlow FlowAfterEngineRun();
