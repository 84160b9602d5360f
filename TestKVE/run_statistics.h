// Statistics of a run's passes: pure functions over the figures of the run records, shared by
// /SUMMARY and the report pages.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "TestKVE/run_record.h"

/// Minimum, median (the mean of the middle two for an even count) and maximum.
struct Spread {
  double min = 0;
  double median = 0;
  double max = 0;
};

/// Mean and sample standard deviation (0 for a single value), and the total.
struct Moments {
  double mean = 0;
  double standard_deviation = 0;
  double total = 0;
};

/// The moments of `values`; none when there are none.
std::optional<Moments> MomentsOf(std::span<const double> values);

/// The spread of `values` in any order; none when there are none.
std::optional<Spread> SpreadOf(std::vector<double> values);

/// The spread and moments of one set of figures together, as the report's tables show them.
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

/// Each pass's wall time in ms, and its peak memory in KiB, in pass order; none for a pass
/// whose engine did not run, which has no figures.
std::vector<std::optional<double>> WallTimes(std::span<const PassRecord> passes);
std::vector<std::optional<double>> PeakKiB(std::span<const PassRecord> passes);
