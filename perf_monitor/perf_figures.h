// The figures of the performance report: spreads of processor load and committed memory, I/O
// peaks, and I/O totals while the engine runs. A failed reading (-999) enters none of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One reading of the five counters; -999 where a reading failed.
struct PerfReading {
  int32_t cpu_percent = 0;
  int32_t mem_percent = 0;
  int64_t io_bytes = 0;       ///< per second
  int32_t io_operations = 0;  ///< per second
  int64_t committed_bytes = 0;
};

class PerfFigures {
 public:
  /// The reading taken before the first sample: it enters the spreads and peaks.
  void TakeInitial(const PerfReading& reading);
  /// One sample: it enters the spreads and peaks, and while the engine runs the totals.
  void TakeSample(const PerfReading& reading, bool engine_running);

  /// The eight lines of the report, from "Perfmon: Finished Performance Profiling..." to the
  /// closing rule, each with its line feed(s). A figure that never had a valid reading shows as "n/a".
  std::vector<std::string> ReportLines(double elapsed_seconds) const;

 private:
  struct Spread {
    std::optional<int64_t> min;
    std::optional<int64_t> max;
    void Take(int64_t value);
    std::optional<int64_t> Diff() const;
  };
  struct Peak {
    std::optional<int64_t> max;
    void Take(int64_t value);
  };
  struct Total {
    std::optional<int64_t> sum;
    void Take(int64_t value);
  };

  void TakeSpreadsAndPeaks(const PerfReading& reading);

  Spread cpu_;
  Spread mem_;
  Peak peak_bytes_;
  Peak peak_operations_;
  Total total_operations_;
  Total total_bytes_;
};
