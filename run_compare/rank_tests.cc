#include "run_compare/rank_tests.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <boost/math/distributions/normal.hpp>

namespace compare {
namespace {

// The k-th smallest (1-based) of a set of values that lie in [low, high], found from
// `count_at_most(t)` (how many are <= t) by halving the range until no number lies between
// its ends. Needs no copy of the set, which for two runs of n values has n * n members.
template <typename Count>
double KthSmallest(uint64_t k, double low, double high, Count count_at_most) {
  if (count_at_most(low) >= k) return low;
  while (true) {
    const double middle = low + (high - low) / 2;
    if (middle <= low || middle >= high) return high;
    (count_at_most(middle) >= k ? high : low) = middle;
  }
}

// The median of a set of `total` values in [low, high], and the interval that leaves out
// total / 2 - `halfwidth` of them at each end (`halfwidth`: the normal quantile times the
// standard deviation of the rank statistic).
Shift EstimateOf(uint64_t total, double halfwidth, double low, double high, auto count_at_most) {
  auto kth = [&](uint64_t k) { return KthSmallest(k, low, high, count_at_most); };
  Shift shift;
  shift.estimate = total % 2 == 1 ? kth(total / 2 + 1) : (kth(total / 2) + kth(total / 2 + 1)) / 2;
  const double outside = std::floor(static_cast<double>(total) / 2 - halfwidth);
  if (outside < 1) {
    shift.low = low;
    shift.high = high;
    return shift;
  }
  shift.low = kth(static_cast<uint64_t>(outside));
  shift.high = kth(total + 1 - static_cast<uint64_t>(outside));
  return shift;
}

// Ranks 1..n of `values` with ties given their average rank, in the values' order, and the
// ties' correction sum of t^3 - t over each group of t equal values.
std::vector<double> AverageRanks(std::span<const double> values, double* tie_sum) {
  std::vector<size_t> order(values.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return values[x] < values[y]; });
  std::vector<double> ranks(values.size());
  *tie_sum = 0;
  for (size_t first = 0; first < order.size();) {
    size_t last = first;
    while (last + 1 < order.size() && values[order[last + 1]] == values[order[first]]) ++last;
    const double rank = static_cast<double>(first + last) / 2 + 1;
    for (size_t i = first; i <= last; ++i) ranks[order[i]] = rank;
    const double ties = static_cast<double>(last - first + 1);
    *tie_sum += ties * ties * ties - ties;
    first = last + 1;
  }
  return ranks;
}

const boost::math::normal_distribution<double> kStandardNormal;

// Two-sided p value of a statistic `distance` from its mean, continuity corrected.
double TwoSidedP(double distance, double variance) {
  if (variance <= 0) return 1;
  const double z = std::max(0.0, std::abs(distance) - 0.5) / std::sqrt(variance);
  return std::min(1.0, 2 * boost::math::cdf(boost::math::complement(kStandardNormal, z)));
}

double Quantile(double confidence) { return boost::math::quantile(kStandardNormal, 1 - (1 - confidence) / 2); }

// Wilcoxon's signed-rank test of `differences` (zeros dropped).
double SignedRankP(std::span<const double> differences) {
  std::vector<double> magnitudes;
  std::vector<bool> positive;
  for (double d : differences) {
    if (d == 0) continue;
    magnitudes.push_back(std::abs(d));
    positive.push_back(d > 0);
  }
  double tie_sum = 0;
  const std::vector<double> ranks = AverageRanks(magnitudes, &tie_sum);
  double positive_sum = 0;
  for (size_t i = 0; i < ranks.size(); ++i) positive_sum += positive[i] ? ranks[i] : 0;
  const double n = static_cast<double>(ranks.size());
  const double variance = n * (n + 1) * (2 * n + 1) / 24 - tie_sum / 48;
  return TwoSidedP(positive_sum - n * (n + 1) / 4, variance);
}

// The Mann-Whitney U test of `b` against `a`.
double RankSumP(std::span<const double> a, std::span<const double> b) {
  std::vector<double> all(a.begin(), a.end());
  all.insert(all.end(), b.begin(), b.end());
  double tie_sum = 0;
  const std::vector<double> ranks = AverageRanks(all, &tie_sum);
  double b_ranks = 0;
  for (size_t i = a.size(); i < all.size(); ++i) b_ranks += ranks[i];
  const double n = static_cast<double>(a.size());
  const double m = static_cast<double>(b.size());
  const double total = n + m;
  const double u = b_ranks - m * (m + 1) / 2;
  const double variance = n * m / 12 * ((total + 1) - tie_sum / (total * (total - 1)));
  return TwoSidedP(u - n * m / 2, variance);
}

}  // namespace

double Median(std::span<const double> values) {
  if (values.empty()) return 0;
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

std::optional<Shift> PairedShift(std::span<const double> a, std::span<const double> b, double confidence) {
  if (a.size() != b.size() || a.size() < 2) return std::nullopt;
  std::vector<double> d(a.size());
  for (size_t i = 0; i < d.size(); ++i) d[i] = b[i] - a[i];
  std::sort(d.begin(), d.end());
  // How many Walsh averages (d[i] + d[j]) / 2, i <= j, are at most t.
  auto walsh_at_most = [&d](double t) {
    uint64_t count = 0;
    size_t end = d.size();
    for (size_t i = 0; i < d.size(); ++i) {
      while (end > i && (d[i] + d[end - 1]) / 2 > t) --end;
      if (end <= i) break;
      count += end - i;
    }
    return count;
  };
  const double n = static_cast<double>(d.size());
  const uint64_t total = d.size() * (d.size() + 1) / 2;
  const double halfwidth = Quantile(confidence) * std::sqrt(n * (n + 1) * (2 * n + 1) / 24);
  Shift shift = EstimateOf(total, halfwidth, d.front(), d.back(), walsh_at_most);
  shift.p_value = SignedRankP(d);
  return shift;
}

std::optional<Shift> UnpairedShift(std::span<const double> a, std::span<const double> b, double confidence) {
  if (a.size() < 2 || b.size() < 2) return std::nullopt;
  std::vector<double> sorted_a(a.begin(), a.end());
  std::vector<double> sorted_b(b.begin(), b.end());
  std::sort(sorted_a.begin(), sorted_a.end());
  std::sort(sorted_b.begin(), sorted_b.end());
  // How many differences b[j] - a[i] are at most t.
  auto differences_at_most = [&](double t) {
    uint64_t count = 0;
    size_t first = 0;
    for (double value : sorted_b) {
      while (first < sorted_a.size() && value - sorted_a[first] > t) ++first;
      count += sorted_a.size() - first;
    }
    return count;
  };
  const double n = static_cast<double>(a.size());
  const double m = static_cast<double>(b.size());
  const uint64_t total = a.size() * b.size();
  const double halfwidth = Quantile(confidence) * std::sqrt(n * m * (n + m + 1) / 12);
  Shift shift = EstimateOf(total, halfwidth, sorted_b.front() - sorted_a.back(), sorted_b.back() - sorted_a.front(),
                           differences_at_most);
  shift.p_value = RankSumP(a, b);
  return shift;
}

}  // namespace compare
