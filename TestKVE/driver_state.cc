#include "TestKVE/driver_state.h"

#include "TestKVE/perf_markers.h"

int32_t DebugTrace = 0;
int32_t InteractiveMode = 0;
int32_t PatternLoopCounter = 0;
int32_t WildcardWidth = 0;
char EngineDir[kPathFieldSize] = "";
char EngineExeName[kPathFieldSize] = "";

void ResetDriverState() {
  DebugTrace = 0;
  InteractiveMode = 0;
  PatternLoopCounter = 0;
  WildcardWidth = 0;
  ResetMonitorStamps();
}
