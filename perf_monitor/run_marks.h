// The monitor's time line: milliseconds since the monitor start, and the engine runs that the
// launch and finish markers announced on it. Safe to use from both threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "perf_monitor/run_chart.h"

class RunMarks {
 public:
  /// Makes now the time line's zero and forgets every run.
  void Start();
  /// Milliseconds since Start.
  int64_t SinceStartMs() const;
  /// A run begins now.
  void MarkLaunch();
  /// The run that began last ends now; nothing when none is open.
  void MarkFinish();
  /// The launch of the last run begun, or 0 before the first.
  int64_t LastLaunchMs() const;
  /// The finished runs, in order.
  std::vector<ChartRun> Runs() const;

 private:
  using Clock = std::chrono::steady_clock;
  mutable std::mutex mutex_;
  Clock::time_point start_ = Clock::now();
  std::vector<ChartRun> runs_;
  bool open_ = false;
};
