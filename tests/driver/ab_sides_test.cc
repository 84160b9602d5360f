#include "TestKVE/ab_sides.h"

#include <gtest/gtest.h>

#include <string>

TEST(AbSidesTest, PairsAlternateWhichSideGoesFirst) {
  std::string sides;
  std::string pairs;
  for (uint64_t run = 0; run < 8; ++run) {
    const AbTurn turn = AbTurnOf(run);
    sides += turn.side;
    pairs += std::to_string(turn.pair);
  }
  EXPECT_EQ("ABBAABBA", sides);
  EXPECT_EQ("11223344", pairs);
  // The last pair of /RUN=-1 (4294967295 pairs) still has its number.
  EXPECT_EQ(4294967295u, AbTurnOf(2 * 4294967295ull - 1).pair);
}
