// Rank tests of a shift between two sets of figures, with the Hodges-Lehmann estimate of the
// shift and its confidence interval: Wilcoxon's signed-rank test for paired runs, the
// Mann-Whitney U test for two separate runs. Normal approximation with ties and continuity
// corrected; the normal quantiles come from Boost.Math.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace compare {

/// How far B lies from A, in the figures' own unit (B minus A).
struct Shift {
  double estimate = 0;  ///< Hodges-Lehmann estimate
  double low = 0;       ///< confidence interval at the level asked for
  double high = 0;
  double p_value = 1;  ///< two-sided; 1 when nothing differs
};

/// Paired runs: `a[i]` and `b[i]` ran as one pair. The estimate is the median of the Walsh
/// averages of the differences b[i] - a[i], its interval and p value from Wilcoxon's
/// signed-rank statistic (zero differences dropped). None with fewer than two pairs or spans
/// of different sizes. `confidence`: 0.95 for a 95 % interval.
std::optional<Shift> PairedShift(std::span<const double> a, std::span<const double> b, double confidence);

/// Two separate runs: the estimate is the median of all differences b[j] - a[i], its
/// interval and p value from the Mann-Whitney U statistic. None with fewer than two values
/// on either side.
std::optional<Shift> UnpairedShift(std::span<const double> a, std::span<const double> b, double confidence);

/// The median of `values` in any order (the mean of the middle two for an even count); 0 for
/// none.
double Median(std::span<const double> values);

}  // namespace compare
