#include "TestKVE/perf_markers.h"

#include <chrono>
#include <thread>

#include "perf_monitor/monitor_clock.h"
#include "perf_monitor/perf_log.h"
#include "perf_monitor/run_marks.h"

namespace {

constexpr auto kSettleTime = std::chrono::milliseconds(5000);
constexpr auto kReportTime = std::chrono::milliseconds(1000);

bool MonitorOn() { return PerfMonEnabled.load(std::memory_order_relaxed) != 0; }

}  // namespace

void ResetMonitorStamps() {
  EngineRunning.store(0, std::memory_order_relaxed);
  LaunchStampMs.store(0, std::memory_order_relaxed);
  FinishStampMs.store(0, std::memory_order_relaxed);
  PerfLogFile.reset();
}

std::unique_ptr<PerfMonitor> StartPerfMonitor(const char* engine_exe_name) {
  std::unique_ptr<PerfMonitor> monitor = PerfMonitor::Start({ProcRootFromEnvironment(), engine_exe_name});
  std::this_thread::sleep_for(kSettleTime);
  return monitor;
}

void MarkEngineLaunch() {
  if (!MonitorOn()) return;
  int32_t stamp = 0;
  LaunchStampMs.store(CurrentTimeMs(&stamp), std::memory_order_relaxed);
  PerfRunMarks.MarkLaunch();
  PerfLog("KVE Launch\n");
  EngineRunning.store(1, std::memory_order_relaxed);
}

void MarkEngineFinish() {
  if (!MonitorOn()) return;
  int32_t stamp = 0;
  FinishStampMs.store(CurrentTimeMs(&stamp), std::memory_order_relaxed);
  PerfRunMarks.MarkFinish();
  PerfLog("KVE Finished\n");
  EngineRunning.store(0, std::memory_order_relaxed);
}

void FinishMonitoredPass() {
  if (!MonitorOn()) return;
  std::this_thread::sleep_for(kSettleTime);
  PerfStopEvent.Signal();
  std::this_thread::sleep_for(kReportTime);
}
