#include "TestKVE/perf_markers.h"

#include "perf_monitor/monitor_pace.h"
#include "platform/stop_signals.h"

namespace {

int Milliseconds(std::chrono::milliseconds pause) { return static_cast<int>(pause.count()); }

bool MonitorOn(const PerfMonitor* monitor) { return monitor != nullptr && monitor->on(); }

}  // namespace

std::unique_ptr<PerfMonitor> StartPerfMonitor(const char* engine_exe_name) {
  std::unique_ptr<PerfMonitor> monitor = PerfMonitor::Start({engine_exe_name});
  platform::WaitUnlessStopped(Milliseconds(CurrentMonitorPace().settle));
  return monitor;
}

void MarkEngineLaunch(PerfMonitor* monitor) {
  if (MonitorOn(monitor)) monitor->MarkLaunch();
}

void MarkEngineFinish(PerfMonitor* monitor) {
  if (MonitorOn(monitor)) monitor->MarkFinish();
}

void FinishMonitoredPass(PerfMonitor* monitor) {
  if (!MonitorOn(monitor)) return;
  // A stop ends the pause as it ends an engine run: the monitor is not asked for its report.
  if (platform::WaitUnlessStopped(Milliseconds(CurrentMonitorPace().settle))) return;
  monitor->Stop();
  platform::WaitUnlessStopped(Milliseconds(CurrentMonitorPace().report));
  monitor->AwaitReport();
}
