// The monitor's samples as a CSV table beside the log, one row per sample, flushed per row.
#pragma once

#include <cstdint>
#include <optional>

#include "perf_monitor/perf_figures.h"
#include "perf_monitor/run_chart.h"
#include "platform/file_stream.h"

class SampleTable {
 public:
  /// The header row.
  static constexpr char kHeader[] =
      "ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
      "committed_bytes,engine_running,engine_pid,engine_cpu_percent,engine_resident_bytes,"
      "engine_read_bytes_per_second,engine_written_bytes_per_second\n";

  /// Creates (or empties) the table at `path` and writes the header; false when it cannot be
  /// created, after which Add does nothing.
  bool Open(const char* path);

  /// One row: ms since the monitor start, the five readings (a failed one as an empty field),
  /// 1 or 0 for the engine running, and the engine's own figures (empty fields without them).
  void Add(int64_t ms, const PerfReading& reading, bool engine_running,
           const std::optional<EngineFigures>& engine = std::nullopt);

 private:
  UniqueStream file_;
};
