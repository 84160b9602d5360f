// The rank tests and Fisher's exact test against values worked out by hand (and as R's
// wilcox.test with exact = FALSE, correct = TRUE and fisher.test give them).
#include "run_compare/rank_tests.h"

#include <gtest/gtest.h>

#include <vector>

#include "run_compare/fisher_exact.h"

namespace compare {
namespace {

TEST(RankTestsTest, PairedShiftOfOneToTen) {
  const std::vector<double> a(10, 100.0);
  std::vector<double> b;
  for (int i = 1; i <= 10; ++i) b.push_back(100.0 + i);
  const std::optional<Shift> shift = PairedShift(a, b, 0.95);
  ASSERT_TRUE(shift);
  EXPECT_DOUBLE_EQ(5.5, shift->estimate);  // the median of the Walsh averages
  EXPECT_DOUBLE_EQ(3.0, shift->low);       // the 8th of 55 Walsh averages
  EXPECT_DOUBLE_EQ(8.0, shift->high);      // the 48th
  EXPECT_NEAR(0.005922, shift->p_value, 1e-6);
}

TEST(RankTestsTest, UnpairedShiftOfTwoSeparatedRuns) {
  const std::vector<double> a = {3, 1, 5, 2, 4};
  const std::vector<double> b = {10, 6, 9, 7, 8};
  const std::optional<Shift> shift = UnpairedShift(a, b, 0.95);
  ASSERT_TRUE(shift);
  EXPECT_DOUBLE_EQ(5.0, shift->estimate);  // the median of the 25 differences
  EXPECT_DOUBLE_EQ(2.0, shift->low);
  EXPECT_DOUBLE_EQ(8.0, shift->high);
  EXPECT_NEAR(0.01219, shift->p_value, 1e-5);
}

TEST(RankTestsTest, IdenticalAndTooFewRuns) {
  const std::vector<double> same = {4, 4, 4, 4};
  const std::optional<Shift> paired = PairedShift(same, same, 0.95);
  ASSERT_TRUE(paired);
  EXPECT_EQ(0, paired->estimate);
  EXPECT_EQ(1, paired->p_value);
  const std::optional<Shift> unpaired = UnpairedShift(same, same, 0.95);
  ASSERT_TRUE(unpaired);
  EXPECT_EQ(1, unpaired->p_value);
  const std::vector<double> one = {1};
  EXPECT_FALSE(PairedShift(one, one, 0.95));
  EXPECT_FALSE(UnpairedShift(one, same, 0.95));
  EXPECT_FALSE(PairedShift(same, std::vector<double>{1, 2}, 0.95));  // not pairs
}

TEST(RankTestsTest, ShiftOfLargeRunsNeedsNoCopyOfEveryDifference) {
  // 3000 against 3000 values: nine million differences, found by counting.
  std::vector<double> a, b;
  for (int i = 0; i < 3000; ++i) {
    a.push_back(i);
    b.push_back(i + 250.0);
  }
  const std::optional<Shift> shift = UnpairedShift(a, b, 0.95);
  ASSERT_TRUE(shift);
  EXPECT_DOUBLE_EQ(250.0, shift->estimate);
  EXPECT_LT(shift->low, 250.0);
  EXPECT_GT(shift->high, 250.0);
  EXPECT_LT(shift->p_value, 1e-6);
}

TEST(RankTestsTest, MedianOfOddEvenAndNone) {
  EXPECT_EQ(2, Median(std::vector<double>{3, 1, 2}));
  EXPECT_EQ(2.5, Median(std::vector<double>{4, 1, 3, 2}));
  EXPECT_EQ(0, Median(std::vector<double>{}));
}

TEST(FisherExactTest, TablesWithKnownP) {
  struct Case {
    uint32_t failed_a, runs_a, failed_b, runs_b;
    double p;
  };
  const Case cases[] = {
      {3, 4, 1, 4, 0.4857142857},                         // the lady tasting tea
      {0, 10, 10, 10, 2.0 / 184756},                      // every run of B fails, none of A
      {0, 500, 1, 500, 1.0},                              // one failure tells nothing
      {5, 10, 5, 10, 1.0},           {0, 0, 3, 10, 1.0},  // no runs on A
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.failed_a) + "/" + std::to_string(c.runs_a) + " against " +
                 std::to_string(c.failed_b) + "/" + std::to_string(c.runs_b));
    EXPECT_NEAR(c.p, FisherExactP(c.failed_a, c.runs_a, c.failed_b, c.runs_b), 1e-9);
  }
}

}  // namespace
}  // namespace compare
