// The picture of a run: the CSV table of samples and the SVG chart, read back as files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "perf_monitor/run_chart.h"
#include "perf_monitor/sample_table.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

constexpr int32_t kFailed = -999;

TEST(SampleTableTest, OneFlushedRowPerSampleWithFailedReadingsEmpty) {
  TempFolder folder;
  const std::string path = (folder.path() / "samples.csv").string();
  SampleTable table;
  ASSERT_TRUE(table.Open(path.c_str()));
  table.Add(4, {kFailed, 12, kFailed, kFailed, 3221225472}, false);
  // Read before the table is closed: every row is on disk at once.
  table.Add(1005, {55, 12, 4096, 8, 1200000}, true);
  EXPECT_EQ(std::vector<std::string>({"ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
                                      "committed_bytes,engine_running",
                                      "4,,12,,,3221225472,0", "1005,55,12,4096,8,1200000,1"}),
            ReadLines(path));
  SampleTable unopened;
  EXPECT_FALSE(unopened.Open((folder.path() / "no" / "such.csv").string().c_str()));
  unopened.Add(1, {}, false);  // does nothing
}

RunChart TwoRuns(std::string engine_name) {
  return {std::move(engine_name),
          3.018,
          {{4, kFailed, 10}, {1005, 40, 10}, {2006, 95, kFailed}, {3007, 60, 11}, {4008, 20, 11}},
          {{1500, 2500}, {3100, 3900}}};
}

TEST(RunChartTest, ShadesEveryRunAndBreaksLinesAtFailedReadings) {
  const std::string svg = RunChartSvg(TwoRuns("vxr.exe"));
  EXPECT_EQ(2u, CountOf(svg, "class=\"engine-run\""));
  // Processor: one line over 1005..4008. Memory: 4..1005, then 3007..4008.
  EXPECT_EQ(3u, CountOf(svg, "<polyline"));
  EXPECT_NE(std::string::npos, svg.find("<title>Performance of vxr.exe, engine time 3.018 seconds</title>"));
  EXPECT_EQ(std::string::npos, svg.find("<script"));
  const std::string empty = RunChartSvg({"vxr.exe", 0, {}, {}});
  EXPECT_EQ(0u, CountOf(empty, "<polyline"));
  EXPECT_EQ(0u, CountOf(empty, "engine-run"));
}

TEST(RunChartTest, IsWellFormedXmlWhateverTheEngineIsCalled) {
  TempFolder folder;
  for (const char* name : {"vxr64_qa.exe", "a<b>&\"c\"", "caf\xe9\x01.exe"}) {
    SCOPED_TRACE(name);
    const auto file = folder.Write("chart.svg", RunChartSvg(TwoRuns(name)));
    ProgramRun lint = RunProgram("/usr/bin/xmllint", {"--noout", file.string()});
    EXPECT_EQ(0, lint.exit_code) << lint.errors;
  }
}

}  // namespace
