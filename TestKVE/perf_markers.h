// The driver's side of the performance monitor: its start, the markers around each engine run,
// and the pauses that give the monitor time for its report. Each marker does nothing without a
// monitor (`monitor` null) or when the monitor is off.
#pragma once

#include <memory>

#include "perf_monitor/perf_mon.h"

/// Started by /PERFMON at start-up: starts the monitor, which watches the engine named
/// `engine_exe_name`, then lets it take about five samples. The run holds the monitor until
/// it ends, and then waits for a report that the monitor is writing. A stop signal cuts the
/// pause short.
std::unique_ptr<PerfMonitor> StartPerfMonitor(const char* engine_exe_name);
/// Just before the engine runs: stamps the launch and logs "KVE Launch".
void MarkEngineLaunch(PerfMonitor* monitor);
/// Just after the engine returned: stamps the finish and logs "KVE Finished".
void MarkEngineFinish(PerfMonitor* monitor);
/// At the end of a stress pass: waits, tells the monitor to stop, and gives it time for its
/// report. A stop signal cuts the pauses short, and one in the first pause leaves the monitor
/// running, as a stop during an engine run does.
void FinishMonitoredPass(PerfMonitor* monitor);
