// The driver's side of the performance monitor: its start and the markers around each run.
// The monitor thread itself is not built yet, so PerfMonEnabled stays 0 and the markers are
// quiet; they already sit at their places in the run loop.
#pragma once

#include <cstdint>

extern int32_t PerfMonEnabled;
extern int32_t EngineRunning;
extern int32_t LaunchStampMs;
extern int32_t FinishStampMs;

/// Sets EngineRunning and both stamps to 0 (PerfMonEnabled is left alone).
void ResetMonitorStamps();
/// Started by /PERFMON at start-up.
void StartPerfMonitor();
/// Just before the engine runs.
void MarkEngineLaunch();
/// Just after the engine returned.
void MarkEngineFinish();
/// At the end of a stress pass: lets the monitor write its report.
void FinishMonitoredPass();
