// The one definition of a percentile (linear between the closest ranks) and Tukey's outlier
// fences, checked against figures worked out by hand (and by NumPy's default method).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestKVE/percentiles.h"

namespace {

TEST(PercentilesTest, LinearBetweenTheClosestRanks) {
  const struct {
    std::vector<double> values;
    Percentiles expected;
  } cases[] = {
      {{7}, {7, 7, 7, 7}},
      {{1, 2}, {1.5, 1.9, 1.95, 1.99}},
      {{4, 1, 3, 2}, {2.5, 3.7, 3.85, 3.97}},  // in any order
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {5.5, 9.1, 9.55, 9.91}},
      {{10, 10, 10, 1000}, {10, 703, 851.5, 970.3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.values));
    const std::optional<Percentiles> p = PercentilesOf(c.values);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(c.expected.p50, p->p50);
    EXPECT_DOUBLE_EQ(c.expected.p90, p->p90);
    EXPECT_DOUBLE_EQ(c.expected.p95, p->p95);
    EXPECT_DOUBLE_EQ(c.expected.p99, p->p99);
  }
  EXPECT_FALSE(PercentilesOf({}));
  const std::vector<double> sorted = {1, 2, 3};
  EXPECT_EQ(1, SortedPercentile(sorted, 0));
  EXPECT_EQ(3, SortedPercentile(sorted, 100));
}

TEST(PercentilesTest, OutliersLieBeyondOneAndAHalfInterquartileRanges) {
  const struct {
    const char* what;
    std::vector<double> values;
    std::vector<size_t> outliers;
  } cases[] = {
      {"a slow first pass", {3.4, 1.7, 1.6, 1.8, 1.7, 1.75, 1.65, 1.7}, {0}},
      {"one slow and one fast", {10, 11, 12, 11, 10, 50, 11, 0.5}, {5, 7}},
      // Quartiles 2 and 4: the fences are -1 and 7, both inclusive.
      {"on the fences", {-1, 2, 3, 4, 7}, {}},
      {"every value alike", {5, 5, 5, 5, 5}, {}},
      {"too few to fence", {1, 1, 100}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.outliers, OutlierPositions(c.values));
  }
}

}  // namespace
