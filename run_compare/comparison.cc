#include "run_compare/comparison.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "run_compare/fisher_exact.h"

namespace compare {
namespace {

FigureComparison CompareFigure(const SideRuns& a, const SideRuns& b, Figure figure, bool paired, double level) {
  FigureComparison result;
  result.figure = figure;
  const std::vector<double>& values_a = FigureValues(a, figure);
  const std::vector<double>& values_b = FigureValues(b, figure);
  result.median_a = Median(values_a);
  result.median_b = Median(values_b);
  result.shift = paired ? PairedShift(values_a, values_b, 1 - level) : UnpairedShift(values_a, values_b, 1 - level);
  if (!result.shift) return result;
  result.significant = result.shift->p_value < level;
  if (result.median_a <= 0) return result;
  result.ratio = 1 + result.shift->estimate / result.median_a;
  result.ratio_low = 1 + result.shift->low / result.median_a;
  result.ratio_high = 1 + result.shift->high / result.median_a;
  return result;
}

FailureComparison CompareFailures(const SideRuns& a, const SideRuns& b, double level) {
  FailureComparison result;
  result.runs_a = static_cast<uint32_t>(a.size());
  result.runs_b = static_cast<uint32_t>(b.size());
  result.failed_a = static_cast<uint32_t>(std::count(a.failed.begin(), a.failed.end(), true));
  result.failed_b = static_cast<uint32_t>(std::count(b.failed.begin(), b.failed.end(), true));
  result.p_value = FisherExactP(result.failed_a, result.runs_a, result.failed_b, result.runs_b);
  result.significant = result.p_value < level;
  return result;
}

std::map<std::string, uint32_t> ResultCounts(const SideRuns& side) {
  std::map<std::string, uint32_t> counts;
  for (const std::string& result : side.results) ++counts[result];
  return counts;
}

// The results of `side` that `other` never met, with how often.
std::vector<std::pair<std::string, uint32_t>> OnlyIn(const std::map<std::string, uint32_t>& side,
                                                     const std::map<std::string, uint32_t>& other) {
  std::vector<std::pair<std::string, uint32_t>> only;
  for (const auto& [name, count] : side) {
    if (!other.contains(name)) only.emplace_back(name, count);
  }
  return only;
}

double Mean(std::span<const double> values) {
  return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

}  // namespace

void SideRuns::Add(double wall, double user, double system, double peak, std::string result, bool run_failed) {
  wall_ms.push_back(wall);
  user_ms.push_back(user);
  system_ms.push_back(system);
  peak_kib.push_back(peak);
  results.push_back(std::move(result));
  failed.push_back(run_failed);
}

std::string_view FigureTitle(Figure figure) {
  switch (figure) {
    case Figure::kWall:
      return "wall time";
    case Figure::kUser:
      return "user time";
    case Figure::kSystem:
      return "system time";
    case Figure::kPeak:
      return "peak memory";
  }
  return "";
}

std::string_view FigureUnit(Figure figure) { return figure == Figure::kPeak ? "KiB" : "ms"; }

const std::vector<double>& FigureValues(const SideRuns& side, Figure figure) {
  switch (figure) {
    case Figure::kUser:
      return side.user_ms;
    case Figure::kSystem:
      return side.system_ms;
    case Figure::kPeak:
      return side.peak_kib;
    case Figure::kWall:
      break;
  }
  return side.wall_ms;
}

std::optional<double> PeakGrowthPercent(std::span<const double> peaks) {
  if (peaks.size() < 2) return std::nullopt;
  const size_t tenth = std::max<size_t>(1, peaks.size() / 10);
  const double first = Mean(peaks.first(tenth));
  if (first <= 0) return std::nullopt;
  return (Mean(peaks.last(tenth)) - first) / first * 100;
}

Comparison Compare(const SideRuns& a, const SideRuns& b, bool paired, double level) {
  Comparison comparison;
  comparison.label_a = a.label;
  comparison.label_b = b.label;
  comparison.paired = paired;
  comparison.runs_a = a.size();
  comparison.runs_b = b.size();
  comparison.level = level;
  for (size_t i = 0; i < kFigures.size(); ++i) comparison.figures[i] = CompareFigure(a, b, kFigures[i], paired, level);
  comparison.failures = CompareFailures(a, b, level);
  const auto results_a = ResultCounts(a);
  const auto results_b = ResultCounts(b);
  comparison.only_a = OnlyIn(results_a, results_b);
  comparison.only_b = OnlyIn(results_b, results_a);
  comparison.peak_growth_a = PeakGrowthPercent(a.peak_kib);
  comparison.peak_growth_b = PeakGrowthPercent(b.peak_kib);
  return comparison;
}

}  // namespace compare
