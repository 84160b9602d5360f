// The arithmetic of the performance report: spreads, peaks and totals from sequences of
// readings, failed readings (-999) among them, and the engine's run time from two stamps.
#include "perf_monitor/perf_figures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "perf_monitor/monitor_clock.h"

namespace {

constexpr int32_t kFailed = -999;

struct Sample {
  PerfReading reading;
  bool engine_running;
};

struct ReportCase {
  const char* name;
  PerfReading initial;
  std::vector<Sample> samples;
  const char* cpu_line;
  const char* mem_line;
  const char* peak_line;
  const char* total_line;
};

PerfReading Cpu(int32_t percent) { return {percent, 10, 0, 0, 1000}; }
PerfReading Io(int64_t bytes, int32_t operations) { return {5, 10, bytes, operations, 1000}; }
PerfReading Committed(int64_t bytes) { return {5, 10, 0, 0, bytes}; }

const ReportCase kReports[] = {
    // Read as they come, a failed first reading would pin the minimum: "Min=-999%".
    {"a failed first processor reading does not pin the minimum",
     Cpu(kFailed),
     {{Cpu(40), false}, {Cpu(10), false}, {Cpu(70), false}, {Cpu(kFailed), false}},
     "Perfmon  CPU:  Diff  =   60% , Max=70%, Min=10%\n",
     nullptr,
     nullptr,
     nullptr},
    // A raise of the maximum skipped the minimum test: Max=25%, Min=30%, Diff=-5%.
    {"every reading is compared with both the maximum and the minimum",
     Cpu(30),
     {{Cpu(20), false}, {Cpu(25), false}},
     "Perfmon  CPU:  Diff  =   10% , Max=30%, Min=20%\n",
     nullptr,
     nullptr,
     nullptr},
    {"no valid processor reading at all",
     Cpu(kFailed),
     {{Cpu(kFailed), false}},
     "Perfmon  CPU:  Diff  =   n/a , Max=n/a, Min=n/a\n",
     nullptr,
     nullptr,
     nullptr},
    // 32-bit figures would show 3 GiB as -1073741824; a failed reading as Min=-999.
    {"committed bytes above 2^31, and a failed reading among them",
     Committed(2147483648),
     {{Committed(3221225472), false}, {Committed(kFailed), false}},
     nullptr,
     "Perfmon  MEM:  Diff  =   1073741824, Max=3221225472, Min=2147483648 bytes\n",
     nullptr,
     nullptr},
    // Totals summed as they come would be 200 - 999 + 300 = -499 bytes and 2 - 999 + 3 = -994
    // operations; the first peak would stay at the failed initial reading until beaten.
    {"totals only while the engine runs, never lowered by a failed reading",
     Io(kFailed, kFailed),
     {{Io(100, 1), false}, {Io(200, 2), true}, {Io(kFailed, kFailed), true}, {Io(300, 3), true}, {Io(5000, 50), false}},
     nullptr,
     nullptr,
     "Perfmon  DATA: Peak  =   (50 Operations 5000 Bytes) / Second\n",
     "Perfmon  DATA: Total =   5 Operations, 500 Bytes\n"},
    // With 32-bit totals, 3 x 1 GiB per second would have wrapped.
    {"byte totals are 64-bit",
     Io(0, 0),
     {{Io(1073741824, 10), true}, {Io(1073741824, 10), true}, {Io(1073741824, 10), true}},
     nullptr,
     nullptr,
     "Perfmon  DATA: Peak  =   (10 Operations 1073741824 Bytes) / Second\n",
     "Perfmon  DATA: Total =   30 Operations, 3221225472 Bytes\n"},
    {"no sample while the engine ran",
     Io(0, 0),
     {{Io(100, 1), false}, {Io(kFailed, kFailed), true}},
     nullptr,
     nullptr,
     nullptr,
     "Perfmon  DATA: Total =   n/a Operations, n/a Bytes\n"},
};

TEST(PerfFiguresTest, ReportLinesFromSequencesOfReadings) {
  for (const ReportCase& c : kReports) {
    SCOPED_TRACE(c.name);
    PerfFigures figures;
    figures.TakeInitial(c.initial);
    for (const Sample& sample : c.samples) figures.TakeSample(sample.reading, sample.engine_running);
    const std::vector<std::string> lines = figures.ReportLines(1.5);
    ASSERT_EQ(8u, lines.size());
    // Lines 2 to 5 of the report; a case names only those it is about.
    const char* expected[] = {c.cpu_line, c.mem_line, c.peak_line, c.total_line};
    for (size_t i = 0; i < 4; ++i) {
      if (expected[i] != nullptr) {
        EXPECT_EQ(expected[i], lines[i + 2]);
      }
    }
  }
}

TEST(PerfFiguresTest, TheReportInItsWordingAndOrder) {
  PerfFigures figures;
  figures.TakeInitial({kFailed, 12, kFailed, kFailed, 1000000});
  figures.TakeSample({35, 12, 4096, 8, 1200000}, true);
  figures.TakeSample({5, 13, 1024, 2, 900000}, false);
  std::string report;
  for (const std::string& line : figures.ReportLines(3.0185)) report += line;
  EXPECT_EQ(
      "Perfmon: Finished Performance Profiling...\n\n"
      "================== PERFORMANCE REPORT =======================\n"
      "Perfmon  CPU:  Diff  =   30% , Max=35%, Min=5%\n"
      "Perfmon  MEM:  Diff  =   300000, Max=1200000, Min=900000 bytes\n"
      "Perfmon  DATA: Peak  =   (8 Operations 4096 Bytes) / Second\n"
      "Perfmon  DATA: Total =   8 Operations, 4096 Bytes\n"
      "Perfmon Time Elasped =   3.018 seconds\n"
      "=============================================================\n",
      report);
}

TEST(PerfFiguresTest, ElapsedSecondsAcrossThe32BitWrap) {
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    int32_t launch, finish;
    double seconds;
  } cases[] = {
      {1000, 4018, 3.018},     {kMax - 499, kMin + 1000, 1.5},  // signed wrap: without it -4294965.796 seconds
      {-1, 2500, 2.501},                                        // unsigned wrap
      {kMin + 5, kMin + 5, 0}, {4018, 1000, -3.018},            // a clock set back shows as such
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.launch) + " to " + std::to_string(c.finish));
    EXPECT_NEAR(c.seconds, ElapsedSeconds(c.launch, c.finish), 1e-9);
  }
}

TEST(PerfFiguresTest, CurrentTimeMsKeepsTheLow32BitsOfTheWallClock) {
  const auto wall_ms = [] {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
  };
  int32_t stamp = 0;
  const uint32_t before = wall_ms();
  const int32_t returned = CurrentTimeMs(&stamp);
  const uint32_t after = wall_ms();
  EXPECT_EQ(returned, stamp);
  // Between the readings taken around it, counted round the 32-bit wrap.
  EXPECT_LE(static_cast<uint32_t>(stamp) - before, after - before) << "between " << before << " and " << after;
}

}  // namespace
