#include "perf_monitor/monitor_samples.h"

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
