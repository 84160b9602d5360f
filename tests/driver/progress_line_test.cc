// The progress line's text: passes, failures, time taken and time left.
#include <gtest/gtest.h>

#include <chrono>

#include "TestKVE/progress_line.h"

namespace {

using std::chrono::milliseconds;

TEST(ProgressLineTest, TextCountsPassesFailuresAndTime) {
  const struct {
    uint32_t done, total, failed;
    milliseconds elapsed;
    const char* text;
  } cases[] = {
      {0, 10, 0, milliseconds(0), "Pass 0 of 10, 0 failed, 0:00 elapsed"},
      {1, 4, 0, milliseconds(2500), "Pass 1 of 4, 0 failed, 0:02 elapsed, about 0:07 left"},
      {137, 200, 3, milliseconds(65'000), "Pass 137 of 200, 3 failed, 1:05 elapsed, about 0:29 left"},
      {1, 4000, 1, milliseconds(1000), "Pass 1 of 4000, 1 failed, 0:01 elapsed, about 1:06:39 left"},
      {5, 5, 5, milliseconds(3'725'000), "Pass 5 of 5, 5 failed, 1:02:05 elapsed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.text, ProgressText(c.done, c.total, c.failed, c.elapsed));
  }
}

}  // namespace
