// The monitor's samples as the run goes on, for the picture at its end and for the run report,
// which may take them at any time (also when a stop signal ends the run). Safe to use from
// both threads.
#pragma once

#include <mutex>
#include <vector>

#include "perf_monitor/run_chart.h"

class MonitorSamples {
 public:
  /// Forgets every sample.
  void Clear();
  void Add(const ChartSample& sample);
  /// The samples so far, in order.
  std::vector<ChartSample> Samples() const;
  bool empty() const;

 private:
  mutable std::mutex mutex_;
  std::vector<ChartSample> samples_;
};
