// The cost of an engine run and its time limit, from the library's side: the limit ends the
// engine with VXR_LIB_WAIT_FAIL, and the peak memory it reports is the one the system's own
// /usr/bin/time -v sees for the same engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_control/engine_launch.h"
#include "launch_fixtures.h"
#include "platform/process.h"
#include "settings_block/settings_block.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "support/wine.h"
#include "vxr_lib.h"

namespace {

RecordList ReportTo(const std::filesystem::path& folder) {
  RecordList records;
  records.String(VXR_STR_REPORT_DIR, folder.string()).Terminate();
  return records;
}

VXRResult Launch(const RecordList& records, uint32_t limit_ms, VXRRunUsage* usage) {
  return LaunchEngine(kReferenceEngine.c_str(), records.records(), records.data_size(), 0, limit_ms, usage);
}

TEST(RunUsageTest, TheLimitEndsTheEngineAsAWaitFailure) {
  TempFolder folder;
  const RecordList records = ReportTo(folder.path());
  for (const char* ignore_term : {"0", "1"}) {
    SCOPED_TRACE(std::string("VXR_REF_IGNORE_TERM=") + ignore_term);
    ScopedEnv sleep("VXR_REF_SLEEP_MS", "60000");
    ScopedEnv ignore("VXR_REF_IGNORE_TERM", ignore_term);
    VXRRunUsage usage{};
    EXPECT_EQ(VXR_LIB_WAIT_FAIL, Launch(records, 100, &usage));
    EXPECT_EQ(1u, usage.timedOut);
    EXPECT_GE(usage.wallUs, 100'000u);
  }
  // Within its limit the engine's own code comes back, with what the run cost.
  ScopedEnv exit_code("VXR_REF_EXIT", "-91");
  VXRRunUsage usage{};
  EXPECT_EQ(VXR_RET_REBOOT_MACHINE, Launch(records, 60'000, &usage));
  EXPECT_EQ(0u, usage.timedOut);
  EXPECT_GT(usage.wallUs, 0u);
  EXPECT_EQ(1u, usage.contained);  // its whole tree was held, not only its group
  SKIP_UNDER_WINE("GetProcessMemoryInfo reads a peak working set of 0");
  EXPECT_GT(usage.peakRssKiB, 0u);
}

TEST(RunUsageTest, NoEngineRunsNoCost) {
  VXRRunUsage usage{1, 2, 3, 4, 5, 6, 7, 1};
  const RecordList records = ReportTo("report");
  EXPECT_EQ(VXR_LIB_EXECUTE_FAIL,
            LaunchEngine("/nonexistent/engine", records.records(), records.data_size(), 0, 1000, &usage));
  EXPECT_EQ(0u, usage.timedOut + usage.wallUs + usage.userUs + usage.systemUs + usage.peakRssKiB);
  EXPECT_EQ(0, usage.stopSignal);
  EXPECT_EQ(0u, usage.terminalStop);
  EXPECT_EQ(0u, usage.contained);
  usage = {1, 2, 3, 4, 5, 6, 7, 1};
  EXPECT_EQ(VXR_LIB_NOT_INIT, VXRExecuteWithLimit(nullptr, 0, 1000, &usage));
  EXPECT_EQ(0u, usage.timedOut + usage.wallUs + usage.peakRssKiB);
}

#ifndef _WIN32  // /usr/bin/time and /proc: Linux only
// "Maximum resident set size (kbytes): N" of /usr/bin/time -v.
uint64_t TimeReportPeak(const std::string& report) {
  const std::string label = "Maximum resident set size (kbytes): ";
  const size_t at = report.find(label);
  if (at == std::string::npos) return 0;
  return std::stoull(report.substr(at + label.size()));
}

// VmHWM of /proc/self/status, in KiB.
uint64_t OwnPeakKib() {
  const std::string status = ReadFile("/proc/self/status");
  const size_t at = status.find("VmHWM:");
  if (at == std::string::npos) return 0;
  return std::stoull(status.substr(at + 6));
}

TEST(RunUsageTest, PeakMemoryAgreesWithTimeOfTheSameEngineRunByHand) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/time")) << "scripts/setup installs time";
  // Linux counts the peak resident size of the process an engine was started from into the
  // engine's peak (it is recorded at exec), so the engines here hold more than this process
  // ever did (much more in a sanitizer build).
  const uint64_t own_peak_kib = OwnPeakKib();
  ASSERT_GT(own_peak_kib, 0u);
  for (uint64_t leak : {own_peak_kib + 16384, 2 * own_peak_kib + 65536}) {
    const std::string leak_kb = std::to_string(leak);
    SCOPED_TRACE("VXR_REF_LEAK_KB=" + leak_kb);
    // A fresh report folder for each, so both runs are the folder's first.
    TempFolder library_folder;
    ScopedEnv leak_variable("VXR_REF_LEAK_KB", leak_kb);
    VXRRunUsage usage{};
    ASSERT_EQ(VXR_LIB_SUCCESS, Launch(ReportTo(library_folder.path()), 0, &usage));

    TempFolder hand_folder;
    SharedBlock block;
    ASSERT_TRUE(WriteBlock(&block, ReportTo(hand_folder.path())));
    const std::string report = (hand_folder.path() / "time.txt").string();
    ProgramRun run = RunProgram("/usr/bin/time",
                                {"-v", "-o", report, kReferenceEngine, "/SMH=" + std::to_string(block.Handle()),
                                 "/PI=" + std::to_string(platform::CurrentProcessId())},
                                {.environment = {{"VXR_REF_LEAK_KB", leak_kb}}});
    ASSERT_EQ(0, run.exit_code) << run.errors;
    const double by_hand = static_cast<double>(TimeReportPeak(ReadFile(report)));
    ASSERT_GT(by_hand, 0);
    EXPECT_NEAR(by_hand, static_cast<double>(usage.peakRssKiB), by_hand * 0.10)
        << "library " << usage.peakRssKiB << " KiB, /usr/bin/time " << by_hand << " KiB";
  }
}
#endif

}  // namespace
