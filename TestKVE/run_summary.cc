#include "TestKVE/run_summary.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

double Mean(std::span<const double> values) {
  double total = 0;
  for (double value : values) total += value;
  return total / static_cast<double>(values.size());
}

// Over the passes whose engine ran: a pass whose preparation failed has no peak to compare.
std::optional<double> PeakGrowth(std::span<const double> peaks) {
  if (peaks.size() < 2) return std::nullopt;
  const size_t tenth = std::max<size_t>(1, peaks.size() / 10);
  const double first = Mean(peaks.first(tenth));
  const double last = Mean(peaks.last(tenth));
  if (first <= 0) return std::nullopt;
  return (last - first) / first * 100;
}

std::string Format(const char* format, double a, double b, double c) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c);
  return line;
}

std::string MomentsLine(const char* what, const Moments& moments) {
  char line[200];
  std::snprintf(line, sizeof line, "Engine %s: mean %.1f ms, standard deviation %.1f ms, total %.1f ms\n", what,
                moments.mean, moments.standard_deviation, moments.total);
  return line;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string PercentileLine(const char* what, const std::optional<Percentiles>& p, const char* unit, int decimals) {
  if (!p) return "";
  char line[240];
  std::snprintf(line, sizeof line, "Engine %s percentiles: p50 %.*f %s, p90 %.*f %s, p95 %.*f %s, p99 %.*f %s\n", what,
                decimals, p->p50, unit, decimals, p->p90, unit, decimals, p->p95, unit, decimals, p->p99, unit);
  return line;
}

std::string PercentileLines(const RunSummary& summary) {
  return PercentileLine("wall time", summary.wall_percentiles_ms, "ms", 1) +
         PercentileLine("user time", summary.user_percentiles_ms, "ms", 1) +
         PercentileLine("system time", summary.system_percentiles_ms, "ms", 1) +
         PercentileLine("peak memory", summary.peak_percentiles_kib, "KiB", 0);
}

}  // namespace

RunSummary Summarize(std::span<const PassRecord> passes) {
  RunSummary summary;
  summary.passes = static_cast<uint32_t>(passes.size());
  std::map<std::string, uint32_t> results;
  std::vector<double> wall;
  std::vector<double> user;
  std::vector<double> system;
  std::vector<double> peak;
  std::vector<uint32_t> wall_numbers;
  for (const PassRecord& pass : passes) {
    ++results[pass.result_name];
    summary.timed_out += pass.timed_out ? 1 : 0;
    if (pass.failed() && ++summary.failed <= kListedPassNumbers) summary.failed_passes.push_back(pass.number);
    if (!pass.ran()) continue;
    wall_numbers.push_back(pass.number);
    wall.push_back(pass.wall_ms);
    user.push_back(pass.user_ms);
    system.push_back(pass.system_ms);
    peak.push_back(static_cast<double>(pass.peak_kib));
    if (!summary.first_random_seed && !pass.random_seeds.empty()) summary.first_random_seed = pass.random_seeds.front();
  }
  summary.results.assign(results.begin(), results.end());
  for (size_t position : OutlierPositions(wall)) summary.wall_outliers.push_back(wall_numbers[position]);
  summary.wall_percentiles_ms = PercentilesOf(wall);
  summary.user_percentiles_ms = PercentilesOf(user);
  summary.system_percentiles_ms = PercentilesOf(system);
  summary.peak_percentiles_kib = PercentilesOf(peak);
  summary.wall_moments_ms = MomentsOf(wall);
  summary.user_ms = MomentsOf(user);
  summary.system_ms = MomentsOf(system);
  summary.peak_growth_percent = PeakGrowth(peak);
  summary.wall_ms = SpreadOf(std::move(wall));
  summary.peak_kib = SpreadOf(std::move(peak));
  return summary;
}

std::string SummaryText(const RunSummary& summary) {
  std::string text = "Run summary: " + std::to_string(summary.passes) +
                     (summary.passes == 1 ? " pass, " : " passes, ") + std::to_string(summary.timed_out) +
                     " timed out" + (summary.interrupted ? ", interrupted by a stop signal\n" : "\n");
  for (const auto& [name, count] : summary.results) text += "  " + name + ": " + std::to_string(count) + "\n";
  if (summary.wall_ms) {
    const Spread& wall = *summary.wall_ms;
    text += Format("Engine wall time: min %.1f ms, median %.1f ms, max %.1f ms\n", wall.min, wall.median, wall.max);
  }
  if (summary.wall_moments_ms) text += MomentsLine("wall time", *summary.wall_moments_ms);
  if (summary.user_ms) text += MomentsLine("user time", *summary.user_ms);
  if (summary.system_ms) text += MomentsLine("system time", *summary.system_ms);
  if (summary.peak_kib) {
    const Spread& peak = *summary.peak_kib;
    text +=
        Format("Engine peak memory: min %.0f KiB, median %.0f KiB, max %.0f KiB\n", peak.min, peak.median, peak.max);
  }
  text += PercentileLines(summary);
  if (summary.wall_percentiles_ms) {
    text += "Engine wall time outliers beyond " + Fixed(kOutlierFenceIqr, 1) +
            " IQR of the quartiles: " + std::to_string(summary.wall_outliers.size()) + "\n";
  }
  if (summary.warm_ups > 0) {
    text += "Warm-up: " + std::to_string(summary.warm_ups) + (summary.warm_ups == 1 ? " pass" : " passes") +
            ", left out of every figure\n";
  }
  text += std::to_string(summary.failed) + " failed";
  if (summary.failed > 0) {
    text += summary.failed == 1 ? ": pass " : ": passes ";
    text += PassNumberList(summary.failed_passes, summary.failed);
  }
  text += "\n";
  if (summary.first_random_seed) text += "Random seed: " + std::to_string(*summary.first_random_seed) + "\n";
  return text;
}

std::string OutlierWarning(const RunSummary& summary) {
  const size_t count = summary.wall_outliers.size();
  if (count == 0) return "";
  return "Warning: " + std::to_string(count) + (count == 1 ? " pass lies" : " passes lie") +
         " beyond the outlier fence of engine wall time (" + Fixed(kOutlierFenceIqr, 1) +
         " IQR outside the quartiles): " + (count == 1 ? "pass " : "passes ") +
         PassNumberList(std::span(summary.wall_outliers).first(std::min(count, kListedPassNumbers)), count) + "\n";
}

std::string PassNumberList(std::span<const uint32_t> numbers, size_t total) {
  std::string text;
  for (size_t i = 0; i < numbers.size(); ++i) {
    const bool last = i + 1 == numbers.size() && total == numbers.size();
    text += (i == 0 ? "" : last ? " and " : ", ") + std::to_string(numbers[i]);
  }
  if (total > numbers.size()) text += " and " + std::to_string(total - numbers.size()) + " more";
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
