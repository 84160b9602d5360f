#include "TestKVE/run_summary.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "TestKVE/run_statistics.h"

namespace {

Spread SpreadOf(std::vector<double> values) {
  const Statistics statistics = *StatisticsOf(std::move(values));
  return {statistics.min, statistics.median, statistics.max};
}

double MeanPeak(std::span<const PassRecord> passes) {
  double total = 0;
  for (const PassRecord& pass : passes) total += static_cast<double>(pass.peak_kib);
  return total / static_cast<double>(passes.size());
}

std::optional<double> PeakGrowth(std::span<const PassRecord> passes) {
  if (passes.size() < 2) return std::nullopt;
  const size_t tenth = std::max<size_t>(1, passes.size() / 10);
  const double first = MeanPeak(passes.first(tenth));
  const double last = MeanPeak(passes.last(tenth));
  if (first <= 0) return std::nullopt;
  return (last - first) / first * 100;
}

std::string Format(const char* format, double a, double b, double c) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c);
  return line;
}

}  // namespace

RunSummary Summarize(std::span<const PassRecord> passes) {
  RunSummary summary;
  summary.passes = static_cast<uint32_t>(passes.size());
  std::map<std::string, uint32_t> results;
  for (const PassRecord& pass : passes) {
    ++results[pass.result_name];
    summary.timed_out += pass.timed_out ? 1 : 0;
  }
  summary.results.assign(results.begin(), results.end());
  if (!passes.empty()) {
    summary.wall_ms = SpreadOf(WallTimes(passes));
    summary.peak_kib = SpreadOf(PeakKiB(passes));
  }
  summary.peak_growth_percent = PeakGrowth(passes);
  return summary;
}

std::string SummaryText(const RunSummary& summary) {
  std::string text = "Run summary: " + std::to_string(summary.passes) + " passes, " +
                     std::to_string(summary.timed_out) + " timed out\n";
  for (const auto& [name, count] : summary.results) text += "  " + name + ": " + std::to_string(count) + "\n";
  if (summary.wall_ms) {
    const Spread& wall = *summary.wall_ms;
    text += Format("Engine wall time: min %.1f ms, median %.1f ms, max %.1f ms\n", wall.min, wall.median, wall.max);
  }
  if (summary.peak_kib) {
    const Spread& peak = *summary.peak_kib;
    text +=
        Format("Engine peak memory: min %.0f KiB, median %.0f KiB, max %.0f KiB\n", peak.min, peak.median, peak.max);
  }
  return text;
}

std::string PeakGrowthWarning(const RunSummary& summary) {
  if (!summary.peak_growth_percent || *summary.peak_growth_percent <= kPeakGrowthWarningPercent) return "";
  char line[160];
  std::snprintf(line, sizeof line,
                "Warning: engine peak memory grew by %.1f%% from the first tenth of the passes "
                "to the last tenth\n",
                *summary.peak_growth_percent);
  return line;
}
