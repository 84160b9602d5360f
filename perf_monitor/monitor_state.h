// The state that the driver's thread and the monitor thread share, owned by the monitor that
// uses it. Each flag and stamp is read and written whole; no order between them is relied on.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "perf_monitor/monitor_samples.h"
#include "perf_monitor/perf_log.h"
#include "perf_monitor/run_chart.h"
#include "perf_monitor/run_marks.h"
#include "platform/event.h"

struct MonitorState {
  /// 1 while the monitor is on: set by the monitor start, cleared by the monitor thread when no
  /// counter query can be opened.
  std::atomic<int32_t> enabled{0};
  /// 1 from the launch marker to the finish marker.
  std::atomic<int32_t> engine_running{0};
  /// CurrentTimeMs at the last launch and finish markers.
  std::atomic<int32_t> launch_stamp_ms{0};
  std::atomic<int32_t> finish_stamp_ms{0};
  /// Signalled by the driver to end the monitor; never reset after that.
  platform::ManualResetEvent stop;
  /// The time line of the engine runs, and the samples on it.
  RunMarks marks;
  MonitorSamples samples;
  /// The monitor's lines and the markers', to the console and the performance log.
  PerfLog log;

  /// The picture of the monitor now: its samples, the finished engine runs, and the engine
  /// time of the last launch and finish stamps; named after `engine_name`.
  RunChart Chart(const std::string& engine_name) const;
};
