#include "perf_monitor/perf_figures.h"

#include <algorithm>
#include <cstdio>

#include "perf_monitor/perf_query.h"

namespace {

bool IsReading(int64_t value) { return value != kNoCounterValue; }

std::string Figure(const std::optional<int64_t>& value) { return value ? std::to_string(*value) : "n/a"; }

std::string Percent(const std::optional<int64_t>& value) { return value ? std::to_string(*value) + "%" : "n/a"; }

}  // namespace

void PerfFigures::Spread::Take(int64_t value) {
  if (!IsReading(value)) return;
  min = min ? std::min(*min, value) : value;
  max = max ? std::max(*max, value) : value;
}

std::optional<int64_t> PerfFigures::Spread::Diff() const {
  if (!min || !max) return std::nullopt;
  return *max - *min;
}

void PerfFigures::Peak::Take(int64_t value) {
  if (IsReading(value)) max = max ? std::max(*max, value) : value;
}

void PerfFigures::Total::Take(int64_t value) {
  if (IsReading(value)) sum = sum.value_or(0) + value;
}

void PerfFigures::TakeSpreadsAndPeaks(const PerfReading& reading) {
  cpu_.Take(reading.cpu_percent);
  mem_.Take(reading.committed_bytes);
  peak_bytes_.Take(reading.io_bytes);
  peak_operations_.Take(reading.io_operations);
}

void PerfFigures::TakeInitial(const PerfReading& reading) { TakeSpreadsAndPeaks(reading); }

void PerfFigures::TakeSample(const PerfReading& reading, bool engine_running) {
  TakeSpreadsAndPeaks(reading);
  if (!engine_running) return;
  total_operations_.Take(reading.io_operations);
  total_bytes_.Take(reading.io_bytes);
}

std::vector<std::string> PerfFigures::ReportLines(double elapsed_seconds) const {
  char elapsed[96];
  std::snprintf(elapsed, sizeof elapsed, "Perfmon Time Elasped =   %.3f seconds\n", elapsed_seconds);
  return {
      "Perfmon: Finished Performance Profiling...\n\n",
      "================== PERFORMANCE REPORT =======================\n",
      "Perfmon  CPU:  Diff  =   " + Percent(cpu_.Diff()) + " , Max=" + Percent(cpu_.max) +
          ", Min=" + Percent(cpu_.min) + "\n",
      "Perfmon  MEM:  Diff  =   " + Figure(mem_.Diff()) + ", Max=" + Figure(mem_.max) + ", Min=" + Figure(mem_.min) +
          " bytes\n",
      "Perfmon  DATA: Peak  =   (" + Figure(peak_operations_.max) + " Operations " + Figure(peak_bytes_.max) +
          " Bytes) / Second\n",
      "Perfmon  DATA: Total =   " + Figure(total_operations_.sum) + " Operations, " + Figure(total_bytes_.sum) +
          " Bytes\n",
      elapsed,
      "=============================================================\n",
  };
}
