#include "perf_monitor/monitor_samples.h"

#include "perf_monitor/monitor_clock.h"
#include "perf_monitor/monitor_state.h"
#include "perf_monitor/run_marks.h"

MonitorSamples PerfSamples;

void MonitorSamples::Clear() {
  std::lock_guard lock(mutex_);
  samples_.clear();
}

void MonitorSamples::Add(const ChartSample& sample) {
  std::lock_guard lock(mutex_);
  samples_.push_back(sample);
}

std::vector<ChartSample> MonitorSamples::Samples() const {
  std::lock_guard lock(mutex_);
  return samples_;
}

bool MonitorSamples::empty() const {
  std::lock_guard lock(mutex_);
  return samples_.empty();
}

RunChart CurrentRunChart(const std::string& engine_name) {
  const double elapsed =
      ElapsedSeconds(LaunchStampMs.load(std::memory_order_relaxed), FinishStampMs.load(std::memory_order_relaxed));
  return {engine_name, elapsed, PerfSamples.Samples(), PerfRunMarks.Runs()};
}
