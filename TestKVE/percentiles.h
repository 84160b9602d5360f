// Percentiles and outliers of a run's figures. One definition of a percentile serves every
// record: linear interpolation between the closest ranks (Hyndman and Fan's type 7, the default
// of NumPy and R and Excel's PERCENTILE.INC), so the 50th percentile is the median.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

/// The p-th percentile (0 to 100) of values in ascending order: the value at rank
/// (n - 1) * p / 100, interpolated between the two values around it; 0 for none.
double SortedPercentile(std::span<const double> sorted, double p);

/// The percentiles the records show.
struct Percentiles {
  double p50 = 0;
  double p90 = 0;
  double p95 = 0;
  double p99 = 0;
};

/// The percentiles of `values` in any order; none for no values.
std::optional<Percentiles> PercentilesOf(std::vector<double> values);

/// How far beyond the quartiles a value lies before it counts as an outlier, in interquartile
/// ranges (Tukey's fences).
inline constexpr double kOutlierFenceIqr = 1.5;

/// The positions (from 0, ascending) of the values below the first quartile or above the
/// third by more than kOutlierFenceIqr interquartile ranges; none with fewer than four values.
std::vector<size_t> OutlierPositions(std::span<const double> values);
