#include "run_compare/failure_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace compare {
namespace {

TEST(FailureGateTest, ReadsRulesInAnyCase) {
  std::string error;
  const auto rules = ParseGate("wall>+5%, PEAK > 10 %,failures>0,User>-2.5%,system>1", &error);
  ASSERT_TRUE(rules) << error;
  ASSERT_EQ(5u, rules->size());
  EXPECT_EQ(Figure::kWall, (*rules)[0].figure);
  EXPECT_EQ(5, (*rules)[0].threshold);
  EXPECT_EQ(Figure::kPeak, (*rules)[1].figure);
  EXPECT_EQ(10, (*rules)[1].threshold);
  EXPECT_FALSE((*rules)[2].figure);
  EXPECT_EQ(0, (*rules)[2].threshold);
  EXPECT_EQ(Figure::kUser, (*rules)[3].figure);
  EXPECT_EQ(-2.5, (*rules)[3].threshold);
  EXPECT_EQ(Figure::kSystem, (*rules)[4].figure);
}

TEST(FailureGateTest, RefusesWhatIsNoRule) {
  struct Case {
    const char* gate;
    const char* error;
  };
  const Case cases[] = {
      {"", "\"\" is not <figure>><threshold>"},
      {"wall<5%", "\"wall<5%\" is not <figure>><threshold>"},
      {"speed>5%", "\"speed\" is not one of wall, user, system, peak, failures"},
      {"wall>", "\"\" is not a threshold such as +5%"},
      {"wall>5%%", "\"5%%\" is not a threshold such as +5%"},
      {"wall>++5", "\"++5\" is not a threshold such as +5%"},
      {"wall>5x", "\"5x\" is not a threshold such as +5%"},
      {"wall>5%,", "\"\" is not <figure>><threshold>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gate);
    std::string error;
    EXPECT_FALSE(ParseGate(c.gate, &error));
    EXPECT_EQ(c.error, error);
  }
}

// A comparison whose wall time grew by `percent` (p as given) and whose failures are as given.
Comparison WallComparison(double percent, double p, uint32_t failed_b) {
  Comparison comparison;
  FigureComparison& wall = comparison.figures[0];
  wall.figure = Figure::kWall;
  wall.shift = Shift{percent, percent - 1, percent + 1, p};
  wall.significant = p < comparison.level;
  wall.ratio = 1 + percent / 100;
  wall.ratio_low = 1 + (percent - 1) / 100;
  wall.ratio_high = 1 + (percent + 1) / 100;
  comparison.failures = {0, 20, failed_b, 20, failed_b > 5 ? 0.001 : 0.5, failed_b > 5};
  return comparison;
}

TEST(FailureGateTest, BreaksOnlyOnASignificantRegressionBeyondTheThreshold) {
  std::string error;
  const std::vector<GateRule> gate = *ParseGate("wall>+5%,failures>0", &error);
  EXPECT_EQ("", BrokenRules(WallComparison(12, 0.2, 0), gate));     // not significant
  EXPECT_EQ("", BrokenRules(WallComparison(4, 0.001, 0), gate));    // within the threshold
  EXPECT_EQ("", BrokenRules(WallComparison(-30, 0.001, 0), gate));  // better
  EXPECT_EQ("", BrokenRules(WallComparison(0, 1, 2), gate));        // failures, not significant
  EXPECT_EQ("wall time +12.0 % (95.0 % CI +11.0 % to +13.0 %, p = 0.0010) beyond +5.0 %",
            BrokenRules(WallComparison(12, 0.001, 0), gate));
  EXPECT_EQ(
      "wall time +12.0 % (95.0 % CI +11.0 % to +13.0 %, p = 0.0010) beyond +5.0 %; failures 50.0 % against 0.0 % "
      "(Fisher's exact p = 0.0010) beyond +0.0 points",
      BrokenRules(WallComparison(12, 0.001, 10), gate));
}

}  // namespace
}  // namespace compare
