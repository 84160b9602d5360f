// The warnings for unknown options: which options draw one, the suggestion, and the program's
// own path left alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestKVE/known_options.h"

namespace {

TEST(KnownOptionsTest, NearestOptionOnlyWhenCloseEnough) {
  const struct {
    const char* typed;
    const char* nearest;
  } cases[] = {
      {"RUNS", "RUN"},       {"sumary", "SUMMARY"}, {"JUNT", "JUNIT"}, {"TIMEOT", "TIMEOUT"},
      {"VXRPAT", "VXRPATH"}, {"XYZZY", ""},         {"A", "VA"},       {"PERFMONITOR", ""},
      {"QUICK+", "QUICK"},   {"SEEDS", "SEED"},     {"X", ""},         {"?X", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(c.nearest, NearestKnownOption(c.typed));
  }
}

TEST(KnownOptionsTest, EveryUnknownOptionOfTheLineAfterTheProgramPath) {
  const std::string program = "\"/tmp/p /RUNS=3 q/testkve\"";
  const std::string line = program + " /nh /Run=2 /LOOPS=3 -x \"/ASSIGN=a b\" /REPORT=r.html /MARKDOWN=r.md";
  EXPECT_EQ((std::vector<std::string>{"/LOOPS=3: unknown option; did you mean /LOOP?", "-x: unknown option"}),
            UnknownOptionWarnings(line, program.size()));
  // Without the path's length its keys are looked at too.
  EXPECT_EQ(5u, UnknownOptionWarnings(line, 0).size());
}

}  // namespace
