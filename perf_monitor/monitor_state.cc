#include "perf_monitor/monitor_state.h"

#include "perf_monitor/monitor_clock.h"

RunChart MonitorState::Chart(const std::string& engine_name) const {
  const double elapsed =
      ElapsedSeconds(launch_stamp_ms.load(std::memory_order_relaxed), finish_stamp_ms.load(std::memory_order_relaxed));
  return {engine_name, elapsed, samples.Samples(), marks.Runs()};
}
