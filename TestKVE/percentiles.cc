#include "TestKVE/percentiles.h"

#include <algorithm>
#include <cmath>

double SortedPercentile(std::span<const double> sorted, double p) {
  if (sorted.empty()) return 0;
  const double rank = static_cast<double>(sorted.size() - 1) * std::clamp(p, 0.0, 100.0) / 100;
  const auto below = static_cast<size_t>(std::floor(rank));
  const size_t above = std::min(below + 1, sorted.size() - 1);
  const double fraction = rank - static_cast<double>(below);
  return sorted[below] + (sorted[above] - sorted[below]) * fraction;
}

std::optional<Percentiles> PercentilesOf(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  return Percentiles{SortedPercentile(values, 50), SortedPercentile(values, 90), SortedPercentile(values, 95),
                     SortedPercentile(values, 99)};
}

std::vector<size_t> OutlierPositions(std::span<const double> values) {
  std::vector<size_t> outliers;
  // Quartiles of fewer than four values fence nothing worth the name.
  if (values.size() < 4) return outliers;
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  const double first = SortedPercentile(sorted, 25), third = SortedPercentile(sorted, 75);
  const double reach = kOutlierFenceIqr * (third - first);
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] < first - reach || values[i] > third + reach) outliers.push_back(i);
  }
  return outliers;
}
