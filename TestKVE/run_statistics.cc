#include "TestKVE/run_statistics.h"

#include <algorithm>
#include <cmath>

#include "TestKVE/percentiles.h"

std::optional<Moments> MomentsOf(std::span<const double> values) {
  if (values.empty()) return std::nullopt;
  Moments moments;
  for (double value : values) moments.total += value;
  const double count = static_cast<double>(values.size());
  moments.mean = moments.total / count;
  if (values.size() < 2) return moments;
  double squares = 0;
  for (double value : values) squares += (value - moments.mean) * (value - moments.mean);
  moments.standard_deviation = std::sqrt(squares / (count - 1));
  return moments;
}

std::optional<Spread> SpreadOf(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  return Spread{values.front(), SortedMedian(values), values.back()};
}

std::optional<Statistics> StatisticsOf(std::vector<double> values) {
  const std::optional<Moments> moments = MomentsOf(values);
  if (!moments) return std::nullopt;
  const size_t count = values.size();
  const Spread spread = *SpreadOf(std::move(values));
  return Statistics{count, spread.min, spread.median, moments->mean, moments->standard_deviation, spread.max};
}

double SortedMedian(std::span<const double> sorted) { return SortedPercentile(sorted, 50); }

std::vector<std::optional<double>> WallTimes(std::span<const PassRecord> passes) {
  std::vector<std::optional<double>> values;
  values.reserve(passes.size());
  for (const PassRecord& pass : passes) values.push_back(pass.ran() ? std::optional(pass.wall_ms) : std::nullopt);
  return values;
}

std::vector<std::optional<double>> PeakKiB(std::span<const PassRecord> passes) {
  std::vector<std::optional<double>> values;
  values.reserve(passes.size());
  for (const PassRecord& pass : passes)
    values.push_back(pass.ran() ? std::optional(static_cast<double>(pass.peak_kib)) : std::nullopt);
  return values;
}
