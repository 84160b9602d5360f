// The picture of a run: the CSV table of samples and the SVG chart, read back as files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "perf_monitor/run_chart.h"
#include "perf_monitor/sample_table.h"
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
  table.Add(2006, {60, 12, 4096, 8, 1200000}, true, EngineFigures{4321, 99.25, 3 << 20, 512.0, std::nullopt});
  EXPECT_EQ(std::vector<std::string>({"ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
                                      "committed_bytes,engine_running,engine_pid,engine_cpu_percent,"
                                      "engine_resident_bytes,engine_read_bytes_per_second,"
                                      "engine_written_bytes_per_second",
                                      "4,,12,,,3221225472,0,,,,,", "1005,55,12,4096,8,1200000,1,,,,,",
                                      "2006,60,12,4096,8,1200000,1,4321,99.2,3145728,512.0,"}),
            ReadLines(path));
  SampleTable unopened;
  EXPECT_FALSE(unopened.Open((folder.path() / "no" / "such.csv").string().c_str()));
  unopened.Add(1, {}, false);  // does nothing
}

ChartSample Sample(int64_t ms, int32_t cpu, int32_t mem) { return {ms, cpu, mem, kFailed, std::nullopt}; }

RunChart TwoRuns(std::string engine_name) {
  return {std::move(engine_name),
          3.018,
          {Sample(4, kFailed, 10), Sample(1005, 40, 10), Sample(2006, 95, kFailed), Sample(3007, 60, 11),
           Sample(4008, 20, 11)},
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

TEST(RunChartTest, DrawsTheEnginesOwnProcessorMemoryAndIo) {
  RunChart chart = TwoRuns("vxr.exe");
  for (ChartSample& sample : chart.samples) sample.io_bytes = 1 << 20;
  chart.samples[2].engine = EngineFigures{77, 90, 8 << 20, 2.0 * (1 << 20), 0.5 * (1 << 20)};
  chart.samples[3].engine = EngineFigures{77, 100, 9 << 20, 1.0 * (1 << 20), std::nullopt};
  const std::string svg = RunChartSvg(chart);
  // Processor and memory as before, the engine's processor, its memory, all processes' I/O,
  // and the engine's read line; its one written figure is a dot.
  EXPECT_EQ(7u, CountOf(svg, "<polyline"));
  EXPECT_EQ(1u, CountOf(svg, "<circle"));
  EXPECT_NE(std::string::npos, svg.find("Engine resident memory, MiB"));
  EXPECT_NE(std::string::npos, svg.find("I/O, MiB/s"));
  // The memory axis reaches past the engine's 9 MiB.
  EXPECT_NE(std::string::npos, svg.find(">10 MiB</text>"));
}

}  // namespace
