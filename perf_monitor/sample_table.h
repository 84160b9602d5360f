// The monitor's samples as a CSV table beside the log, one row per sample, flushed per row.
#pragma once

#include <cstdint>

#include "perf_monitor/perf_figures.h"
#include "platform/file_stream.h"

class SampleTable {
 public:
  /// The header row.
  static constexpr char kHeader[] =
      "ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
      "committed_bytes,engine_running\n";

  /// Creates (or empties) the table at `path` and writes the header; false when it cannot be
  /// created, after which Add does nothing.
  bool Open(const char* path);

  /// One row: ms since the monitor start, the five readings (a failed one as an empty field)
  /// and 1 or 0 for the engine running.
  void Add(int64_t ms, const PerfReading& reading, bool engine_running);

 private:
  UniqueStream file_;
};
