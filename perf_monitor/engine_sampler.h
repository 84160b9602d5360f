// The engine's own figures at each sample of the monitor: processor percent of one core,
// resident memory and I/O rates, from what the kernel counts of the engine process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "perf_monitor/engine_finder.h"
#include "perf_monitor/run_chart.h"
#include "platform/process_snapshot.h"

class EngineSampler {
 public:
  /// Samples the engine that `finder` finds.
  explicit EngineSampler(EngineFinder finder) : finder_(std::move(finder)) {}

  /// The engine's figures at `now_ms` on the monitor's time line, or none when no engine runs.
  /// Rates run from the sample before; for an engine seen for the first time they count from
  /// zero at `launch_ms`, the launch mark of the run that goes on.
  std::optional<EngineFigures> Take(int64_t now_ms, int64_t launch_ms);

 private:
  EngineFinder finder_;
  std::optional<platform::ProcessFigures> last_;
  int64_t last_ms_ = 0;
};
