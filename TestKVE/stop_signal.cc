#include "TestKVE/stop_signal.h"

#include "platform/stop_signals.h"

RunFlow FlowAfterEngineRun(const EngineClient& client) {
  return client.last_run_stop_signal() != 0 ? RunFlow::kStopped : RunFlow::kContinue;
}

bool StopCame(RunTally& tally) {
  const int signal = platform::StopSignal();
  if (signal != 0) tally.NoteStop(signal);
  return signal != 0;
}
