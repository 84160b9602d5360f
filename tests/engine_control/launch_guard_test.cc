// The launch as a stopped or stolen-from caller sees it: stop signals end the engine (its
// whole process group when detached) before the caller, and the checked open file is what
// runs even when its path is replaced meanwhile.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_control/engine_launch.h"
#include "launch_fixtures.h"
#include "platform/open_file.h"
#include "platform/stop_signals.h"
#include "support/background_program.h"
#include "support/engine_start_log.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

RecordList ReportTo(const TempFolder& folder) {
  RecordList records;
  records.String(VXR_STR_REPORT_DIR, folder.str()).Terminate();
  return records;
}

// Where the forked caller leaves LaunchEngine's result, in hex.
std::filesystem::path ResultFile(const TempFolder& folder) { return folder.path() / "launch_result"; }

// A forked caller of LaunchEngine; it writes the result to ResultFile and exits with the stop
// signal that the run's usage reports (0: none).
pid_t ForkLaunch(const TempFolder& folder, uint32_t dw_mode) {
  const RecordList records = ReportTo(folder);
  const std::string result_file = ResultFile(folder).string();
  const pid_t pid = fork();
  if (pid == 0) {
    VXRRunUsage usage{};
    const uint32_t result =
        LaunchEngine(kReferenceEngine.c_str(), records.records(), records.data_size(), dw_mode, 0, &usage);
    std::FILE* out = std::fopen(result_file.c_str(), "w");
    if (out != nullptr) {
      std::fprintf(out, "0x%x", result);
      std::fclose(out);
    }
    _exit(usage.stopSignal);
  }
  return pid;
}

TEST(LaunchGuardTest, AStopSignalEndsTheEngineInEitherModeAndIsReported) {
  for (const uint32_t dw_mode : {0u, 1u}) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      SCOPED_TRACE("mode " + std::to_string(dw_mode) + ", " + strsignal(signal));
      TempFolder folder;
      const std::filesystem::path log = folder.path() / "starts.log";
      ScopedEnv sleep("VXR_REF_SLEEP_MS", "600000");
      ScopedEnv starts("VXR_REF_START_LOG", log.string());
      const pid_t caller = ForkLaunch(folder, dw_mode);
      ASSERT_GT(caller, 0);
      ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
      const int engine = EngineStartPids(log).front();
      if (dw_mode == 1) {
        EXPECT_EQ(engine, getpgid(engine)) << "a group of its own";
      }
      kill(caller, signal);
      int status = 0;
      ASSERT_EQ(caller, waitpid(caller, &status, 0));
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(signal, WEXITSTATUS(status));
      // The caller reaped its engine before it returned, and saw it end by the signal.
      EXPECT_FALSE(IsRunning(engine));
      char killed[32];
      std::snprintf(killed, sizeof killed, "0x%x", 0xC0000000u + static_cast<unsigned>(signal));
      EXPECT_EQ(killed, ReadFile(ResultFile(folder)));
    }
  }
}

TEST(LaunchGuardTest, AnEngineThatIgnoresTheSignalIsKilledAfterTheGrace) {
  TempFolder folder;
  const std::filesystem::path log = folder.path() / "starts.log";
  ScopedEnv sleep("VXR_REF_SLEEP_MS", "600000");
  // The engine ignores SIGTERM before it logs its start, so only SIGKILL can end it.
  ScopedEnv ignore("VXR_REF_IGNORE_TERM", "1");
  ScopedEnv starts("VXR_REF_START_LOG", log.string());
  const pid_t caller = ForkLaunch(folder, 0);
  ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
  const int engine = EngineStartPids(log).front();
  kill(caller, SIGTERM);
  int status = 0;
  ASSERT_EQ(caller, waitpid(caller, &status, 0));
  EXPECT_EQ(SIGTERM, WEXITSTATUS(status));
  EXPECT_FALSE(IsRunning(engine));
  char killed[32];
  std::snprintf(killed, sizeof killed, "0x%x", 0xC0000000u + SIGKILL);
  EXPECT_EQ(killed, ReadFile(ResultFile(folder)));
}

TEST(LaunchGuardTest, OutsideALaunchTheStopSignalsKeepTheirActions) {
  struct sigaction before = {};
  sigaction(SIGTERM, nullptr, &before);
  TempFolder folder;
  const RecordList records = ReportTo(folder);
  VXRRunUsage usage{};
  EXPECT_EQ(VXR_LIB_SUCCESS,
            LaunchEngine(kReferenceEngine.c_str(), records.records(), records.data_size(), 0, 0, &usage));
  EXPECT_EQ(0, usage.stopSignal);
  struct sigaction after = {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler);
  EXPECT_EQ(0, platform::StopSignal());
}

TEST(LaunchGuardTest, TheOpenFileRunsEvenWhenItsPathIsReplaced) {
  TempFolder folder;
  const std::filesystem::path engine = folder.path() / "vxr.exe";
  std::filesystem::copy_file(kReferenceEngine, engine);
  const platform::OpenFile opened = platform::OpenFile::Open(engine.c_str());
  std::filesystem::copy_file("/bin/false", folder.path() / "other");
  std::filesystem::rename(folder.path() / "other", engine);
  const RecordList records = ReportTo(folder);
  EXPECT_EQ(VXR_LIB_SUCCESS, LaunchEngine(engine.c_str(), opened, records.records(), records.data_size(), 0));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "settings.txt"));
}

}  // namespace
