// The monitor's line writer: whole lines to the log, each on disk as soon as it is written,
// and a line too long for its buffer dropped rather than cut.
#include "perf_monitor/perf_log.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"
#include "support/text.h"

namespace {

TEST(PerfLogTest, WritesWholeLinesAtOnceAndDropsOnesTooLong) {
  TempFolder folder;
  const std::string path = (folder.path() / "perf.log").string();
  PerfLog log;
  ASSERT_TRUE(log.Open(path.c_str()));
  log.Write("PerfMon: CPU=%d%%\n", 42);
  EXPECT_EQ("PerfMon: CPU=42%\n", ReadFile(path)) << "on disk before the log is closed";
  const std::string longest(2046, 'x');  // with its line feed, 2047 characters
  log.Write("%s\n", longest.c_str());
  log.Write("%s\n", (longest + "y").c_str());  // 2048: dropped
  log.Write("KVE Finished\n");
  EXPECT_EQ("PerfMon: CPU=42%\n" + longest + "\nKVE Finished\n", ReadFile(path));
  log.Close();
  log.Write("console only\n");
  EXPECT_EQ(3u, Lines(ReadFile(path)).size());
  EXPECT_FALSE(log.Open((folder.path() / "missing" / "perf.log").string().c_str()));
}

}  // namespace
