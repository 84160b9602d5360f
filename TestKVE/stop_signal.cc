#include "TestKVE/stop_signal.h"

#include "platform/stop_signals.h"

RunFlow FlowAfterEngineRun() { return platform::StopSignal() != 0 ? RunFlow::kStopped : RunFlow::kContinue; }
