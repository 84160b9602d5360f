#include "TestKVE/driver_state.h"

#include "TestKVE/perf_markers.h"

void ResetDriverState(HarnessState& state) {
  state.DebugTrace = 0;
  state.InteractiveMode = 0;
  state.PatternLoopCounter = 0;
  state.WildcardWidth = 0;
  ResetMonitorStamps();
}
