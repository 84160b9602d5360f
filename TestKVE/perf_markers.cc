#include "TestKVE/perf_markers.h"

#include "platform/stop_signals.h"

namespace {

constexpr int kSettleMs = 5000;
constexpr int kReportMs = 1000;

bool MonitorOn(const PerfMonitor* monitor) { return monitor != nullptr && monitor->on(); }

}  // namespace

std::unique_ptr<PerfMonitor> StartPerfMonitor(const char* engine_exe_name) {
  std::unique_ptr<PerfMonitor> monitor = PerfMonitor::Start({engine_exe_name});
  platform::WaitUnlessStopped(kSettleMs);
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
  if (platform::WaitUnlessStopped(kSettleMs)) return;
  monitor->Stop();
  platform::WaitUnlessStopped(kReportMs);
}
