#include "perf_monitor/engine_sampler.h"

#include <algorithm>

namespace {

std::optional<double> PerSecond(std::optional<int64_t> now, std::optional<int64_t> before, double seconds) {
  if (!now) return std::nullopt;
  // A counter that went back is no rate.
  const int64_t counted = *now - before.value_or(0);
  if (counted < 0) return std::nullopt;
  return static_cast<double>(counted) / seconds;
}

}  // namespace

std::optional<EngineFigures> EngineSampler::Take(int64_t now_ms, int64_t launch_ms) {
  std::optional<platform::ProcessFigures> now = finder_.Read();
  if (!now) {
    last_.reset();
    return std::nullopt;
  }
  const bool same_engine = last_ && last_->process_id == now->process_id;
  const platform::ProcessFigures before =
      same_engine ? *last_ : platform::ProcessFigures{now->process_id, now->start_time, 0, 0, 0, 0};
  // A sample in the same millisecond as its base counts as one millisecond, not as a division by zero.
  const double seconds =
      static_cast<double>(std::max<int64_t>(1, now_ms - (same_engine ? last_ms_ : launch_ms))) / 1000;
  EngineFigures figures;
  figures.pid = now->process_id;
  figures.cpu_percent = std::max<double>(0, static_cast<double>(now->cpu_ns - before.cpu_ns)) / 1e9 / seconds * 100;
  figures.resident_bytes = now->resident_bytes;
  figures.read_bytes_per_second = PerSecond(now->read_bytes, before.read_bytes, seconds);
  figures.written_bytes_per_second = PerSecond(now->written_bytes, before.written_bytes, seconds);
  last_ = now;
  last_ms_ = now_ms;
  return figures;
}
