#include "TestKVE/perf_markers.h"

int32_t PerfMonEnabled = 0;
int32_t EngineRunning = 0;
int32_t LaunchStampMs = 0;
int32_t FinishStampMs = 0;

void ResetMonitorStamps() {
  EngineRunning = 0;
  LaunchStampMs = 0;
  FinishStampMs = 0;
}

void StartPerfMonitor() {}

void MarkEngineLaunch() {
  if (PerfMonEnabled)
    EngineRunning = 1;
}

void MarkEngineFinish() {
  if (PerfMonEnabled)
    EngineRunning = 0;
}

void FinishMonitoredPass() {}
