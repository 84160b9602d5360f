#include "TestKVE/stop_signal.h"

#include "TestKVE/exit_status.h"

RunFlow FlowAfterEngineRun(const EngineClient& client) {
  const int signal = client.last_run_stop_signal();
  if (signal == 0) return RunFlow::kContinue;
  NoteStop(signal);
  return RunFlow::kStopped;
}
