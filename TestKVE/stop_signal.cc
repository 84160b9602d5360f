#include "TestKVE/stop_signal.h"

RunFlow FlowAfterEngineRun(const EngineClient& client) {
  return client.last_run_stop_signal() != 0 ? RunFlow::kStopped : RunFlow::kContinue;
}
