#include "TestKVE/run_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

std::optional<Statistics> StatisticsOf(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  Statistics statistics;
  statistics.count = values.size();
  statistics.min = values.front();
  statistics.max = values.back();
  statistics.median = SortedMedian(values);
  const double count = static_cast<double>(values.size());
  statistics.mean = std::accumulate(values.begin(), values.end(), 0.0) / count;
  if (values.size() > 1) {
    double squares = 0;
    for (double value : values) squares += (value - statistics.mean) * (value - statistics.mean);
    statistics.standard_deviation = std::sqrt(squares / (count - 1));
  }
  return statistics;
}

double SortedMedian(std::span<const double> sorted) {
  if (sorted.empty()) return 0;
  const size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

std::vector<double> WallTimes(std::span<const PassRecord> passes) {
  std::vector<double> values;
  values.reserve(passes.size());
  for (const PassRecord& pass : passes) values.push_back(pass.wall_ms);
  return values;
}

std::vector<double> PeakKiB(std::span<const PassRecord> passes) {
  std::vector<double> values;
  values.reserve(passes.size());
  for (const PassRecord& pass : passes) values.push_back(static_cast<double>(pass.peak_kib));
  return values;
}
