#include "TestKVE/perf_markers.h"

#include <chrono>
#include <thread>

namespace {

constexpr auto kSettleTime = std::chrono::milliseconds(5000);
constexpr auto kReportTime = std::chrono::milliseconds(1000);

bool MonitorOn(const PerfMonitor* monitor) { return monitor != nullptr && monitor->on(); }

}  // namespace

std::unique_ptr<PerfMonitor> StartPerfMonitor(const char* engine_exe_name) {
  std::unique_ptr<PerfMonitor> monitor = PerfMonitor::Start({engine_exe_name});
  std::this_thread::sleep_for(kSettleTime);
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
  std::this_thread::sleep_for(kSettleTime);
  monitor->Stop();
  std::this_thread::sleep_for(kReportTime);
}
