// Summary statistics of a run's passes: pure functions over the figures of the run records.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "TestKVE/run_record.h"

/// Minimum, median (the mean of the middle two for an even count), mean, standard deviation
/// (of the sample: n - 1 in the divisor; 0 for one value) and maximum of a set of figures.
struct Statistics {
  size_t count = 0;
  double min = 0;
  double median = 0;
  double mean = 0;
  double standard_deviation = 0;
  double max = 0;
};

/// The statistics of `values` in any order; none for no values.
std::optional<Statistics> StatisticsOf(std::vector<double> values);

/// The median of values already in ascending order (the mean of the middle two for an even
/// count); 0 for none.
double SortedMedian(std::span<const double> sorted);

/// Each pass's wall time in ms, and its peak memory in KiB, in pass order.
std::vector<double> WallTimes(std::span<const PassRecord> passes);
std::vector<double> PeakKiB(std::span<const PassRecord> passes);
