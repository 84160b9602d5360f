#include "TestKVE/pattern_loop.h"

#include <gtest/gtest.h>

#include <set>

#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/legacy_random.h"
#include "command_text/command_line.h"

namespace {

TEST(LegacyRandomTest, FirstOutputsForSeedOneMatchTheFormula) {
  // Worked by hand: state 1 -> 1 * 214013 + 2531011 = 2745024, 2745024 >> 16 = 41, and so on.
  LegacyRandom random;
  random.Seed(1);
  const uint32_t expected[] = {41, 18467, 6334, 26500, 19169};
  for (uint32_t value : expected) EXPECT_EQ(value, random.Next());
}

TEST(LegacyRandomTest, StaysWithinRandMax) {
  LegacyRandom random;
  random.Seed(0xFFFFFFFFu);
  for (int i = 0; i < 100000; ++i) ASSERT_LE(random.Next(), kLegacyRandMax);
}

TEST(SelectRandomIterationsTest, DrawsDistinctSortedIndexesBelowTheLimit) {
  std::vector<uint32_t> selected = {99};
  testing::internal::CaptureStdout();
  EXPECT_EQ(4u, SelectRandomIterations(&selected, 4, 5, 1));
  EXPECT_EQ("Random number generator is initializing...\nRandom numbers' container is ready\n",
            testing::internal::GetCapturedStdout());
  // Seed 1 draws 41, 18467, 6334, 26500, 19169 -> modulo 5: 1, 2, 4, 0 (19169 % 5 = 4 again).
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 4}), selected);
}

TEST(SelectRandomIterationsTest, CountAboveRandMaxIsCutAndDrawsStayBelow32768) {
  std::vector<uint32_t> selected;
  testing::internal::CaptureStdout();
  EXPECT_EQ(32767u, SelectRandomIterations(&selected, 33000, 40000, 7));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("The random number count is more than ***RAND_MAX***\n"));
  ASSERT_EQ(32767u, selected.size());
  EXPECT_EQ(32767u, std::set<uint32_t>(selected.begin(), selected.end()).size());
  EXPECT_LE(selected.back(), 32767u);
}

// Past 2^31 - 1 the counter wraps to -2^31 as a 32-bit counter does, in defined arithmetic
// (the sanitizer build stops on a signed overflow), and the names go on with it.
TEST(RunPatternLoopTest, TheCounterWrapsPast2To31WithoutOverflow) {
  HarnessState state;
  state.PatternLoopCounter = INT32_MAX - 1;
  EngineClient client;  // no library: the Sets fail, the names are printed all the same
  testing::internal::CaptureStdout();
  RunPatternLoop(client, CommandLine("/ASSIGN=A /LOOP=3"), state);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("Assign Pattern: A2147483646\n"));
  EXPECT_NE(std::string::npos, out.find("Assign Pattern: A2147483647\n"));
  EXPECT_NE(std::string::npos, out.find("Assign Pattern: A-2147483648\n"));
  EXPECT_EQ(INT32_MIN + 1, state.PatternLoopCounter);
}

}  // namespace
