#include "engine_control/engine_launch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "launch_fixtures.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

// Records that send the reference engine's report into `folder`.
RecordList ReportTo(const std::filesystem::path& folder) {
  RecordList records;
  records.String(VXR_STR_REPORT_DIR, folder.string())
      .Flag(VXR_FLG_DISABLE_CONSOLE_OUTPUT, 0)
      .Value(VXR_INT_DEBUG_INFO_LEVEL, 0)
      .Value(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN)
      .Terminate();
  return records;
}

VXRResult Launch(const RecordList& records, uint32_t dw_mode = 0, const std::string& engine = kReferenceEngine) {
  return LaunchEngine(engine.c_str(), records.records(), records.data_size(), dw_mode);
}

// A text as the reference engine's report writes it: backslashes doubled.
std::string ReportEscaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Settings blocks still mapped in this process.
int MappedBlocks() {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);) {
    if (line.find("testkve-settings") != std::string::npos) ++count;
  }
  return count;
}

TEST(EngineCommandTest, TextAndArgvCarryTheSameParts) {
  EngineCommand command = MakeEngineCommand("C:\\eng\\VXR.EXE", 124, 2048);
  EXPECT_EQ("\"C:\\eng\\VXR.EXE\" /SMH=124 /PI=2048", command.text);
  EXPECT_EQ((std::vector<std::string>{"C:\\eng\\VXR.EXE", "/SMH=124", "/PI=2048"}), command.argv);

  command = MakeEngineCommand("/opt/my engines/vxr.exe", 4294967295u, 7);
  EXPECT_EQ("\"/opt/my engines/vxr.exe\" /SMH=4294967295 /PI=7", command.text);
  EXPECT_EQ("/opt/my engines/vxr.exe", command.argv[0]);
}

TEST(LaunchEngineTest, TheEngineReceivesEveryRecordInOrder) {
  TempFolder folder;
  const std::filesystem::path report = folder.path() / "new" / "report";
  RecordList records;
  records.String(VXR_STR_EXTRA_OUTPUTS, "KVPExtOutput.DLL")
      .String(VXR_STR_REPORT_DIR, report.string())
      .String(VXR_STR_SCAN_VIRUS_PATTERN, "A\nB\\C")
      .String(VXR_STR_BACKUP_DIR, "")
      .Flag(VXR_FLG_BACKUP_FILE, 1)
      .Value(VXR_INT_DEBUG_INFO_LEVEL, 5)
      .Value(VXR_INT_ENABLE_PATTERN_MAGIC, 0x1ABDD51A)
      .Value(VXR_INT_EXECUTE_MODE, DUMP_BACKUP_FILE)
      .Terminate();
  ASSERT_EQ(VXR_LIB_SUCCESS, Launch(records));
  const std::vector<std::string> expected = {
      "0x00000005 string KVPExtOutput.DLL",
      "0x00000004 string " + ReportEscaped(report.string()),
      "0x00000009 string A\\nB\\\\C",
      "0x00000002 string ",
      "0x01000001 flag 1",
      "0x02000001 value 5",
      "0x02000004 value 448648474",
      "0x02000003 value 131075",
  };
  EXPECT_EQ(expected, ReadLines(report / "settings.txt"));
}

TEST(LaunchEngineTest, ExitStatusComesBackSignExtended) {
  TempFolder folder;
  struct Case {
    const char* exit;
    VXRResult result;
  } cases[] = {
      {"0", VXR_LIB_SUCCESS},
      {"1", 1},
      {"127", 127},
#ifdef _WIN32
      // Windows hands back the whole exit code.
      {"128", 128},
      {"255", 255},
#else
      {"128", static_cast<VXRResult>(-128)},
      {"255", static_cast<VXRResult>(-1)},
#endif
      {"-91", VXR_RET_REBOOT_MACHINE},
      {"-93", VXR_RET_LOAD_PATTERN_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exit);
    ScopedEnv exit("VXR_REF_EXIT", c.exit);
    EXPECT_EQ(c.result, Launch(ReportTo(folder.path())));
  }
}

#ifndef _WIN32  // Windows has no signals: a crash is an exit code of its own (0xC0000005)
TEST(LaunchEngineTest, DeathBySignalIsAValueNoExitCanGive) {
  TempFolder folder;
  for (int signal : {9, 15}) {
    SCOPED_TRACE(signal);
    ScopedEnv die("VXR_REF_SIGNAL", std::to_string(signal));
    EXPECT_EQ(0xC0000000u + static_cast<VXRResult>(signal), Launch(ReportTo(folder.path())));
  }
}
#endif

TEST(LaunchEngineTest, AnEngineThatCannotStartIsAnExecuteFailureAndTheNextLaunchRuns) {
  TempFolder folder;
  const std::filesystem::path not_executable = folder.Write("vxr.exe", "not a program");
  for (const std::filesystem::path& engine : {folder.path() / "missing.exe", not_executable}) {
    SCOPED_TRACE(engine);
    EXPECT_EQ(VXR_LIB_EXECUTE_FAIL, Launch(ReportTo(folder.path()), 0, engine.string()));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "settings.txt"));
  }
  ScopedEnv exit("VXR_REF_EXIT", "3");
  EXPECT_EQ(3u, Launch(ReportTo(folder.path())));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "settings.txt"));
}

TEST(LaunchEngineTest, DetachedModeRunsTheEngineToItsEnd) {
  TempFolder folder;
  ScopedEnv exit("VXR_REF_EXIT", "-90");
  EXPECT_EQ(VXR_RET_INIT_EXIST_INSTANCE, Launch(ReportTo(folder.path()), 1));
  EXPECT_EQ(4u, ReadLines(folder.path() / "settings.txt").size());
}

TEST(LaunchEngineTest, NoEngineStartsWhenTheBlockCannotBeMadeOrFilled) {
  TempFolder folder;
  RecordList records = ReportTo(folder.path());
  RecordList with_gap = ReportTo(folder.path());
  std::vector<std::unique_ptr<BlockRecord>> null_record;
  null_record.push_back(nullptr);

  platform::InjectSharedMemoryFault(platform::SharedMemoryFault::kCreate);
  EXPECT_EQ(VXR_LIB_FAIL, Launch(records));
  platform::InjectSharedMemoryFault(platform::SharedMemoryFault::kMap);
  EXPECT_EQ(VXR_LIB_FAIL, Launch(records));
  EXPECT_EQ(VXR_LIB_FAIL, LaunchEngine(kReferenceEngine.c_str(), records.records(), records.data_size() - 1, 0))
      << "the records do not fit the data size";
  EXPECT_EQ(VXR_LIB_FAIL, LaunchEngine(kReferenceEngine.c_str(), null_record, 12, 0));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "settings.txt"));

  // A data size larger than the records leaves zeros after the terminator; still readable.
  EXPECT_EQ(VXR_LIB_SUCCESS, LaunchEngine(kReferenceEngine.c_str(), with_gap.records(), with_gap.data_size() + 16, 0));
  EXPECT_EQ(4u, ReadLines(folder.path() / "settings.txt").size());
}

TEST(LaunchEngineTest, NothingStaysOpenOrMappedOnAnyPath) {
  TempFolder folder;
  RecordList records = ReportTo(folder.path());
  // The first start makes the engine starter's program, which every later start reuses.
  Launch(records);
  const std::vector<int> before = platform::OpenHandleNumbers();
  Launch(records);
  Launch(records, 1);
  Launch(records, 0, (folder.path() / "missing").string());
  platform::InjectSharedMemoryFault(platform::SharedMemoryFault::kMap);
  Launch(records);
  {
    ScopedEnv die("VXR_REF_SIGNAL", "9");
    Launch(records);
  }
  EXPECT_EQ(before, platform::OpenHandleNumbers());
  EXPECT_EQ(0, MappedBlocks());
}

TEST(LaunchEngineTest, NoDescriptorOfTheHarnessLeaksIntoTheEngine) {
  TempFolder folder;
  // stdio opens without close-on-exec, the way a careless part of a harness might.
  std::FILE* inheritable = std::fopen((folder.path() / "harness.log").string().c_str(), "w");
  ASSERT_NE(nullptr, inheritable);
  ScopedEnv report("VXR_REF_FD_REPORT", "1");
  for (uint32_t dw_mode : {0u, 1u}) {
    SCOPED_TRACE(dw_mode);
    std::filesystem::remove(folder.path() / "fds.txt");
    EXPECT_EQ(VXR_LIB_SUCCESS, Launch(ReportTo(folder.path()), dw_mode));
    ASSERT_TRUE(std::filesystem::exists(folder.path() / "fds.txt"));
    EXPECT_EQ(std::vector<std::string>{}, ReadLines(folder.path() / "fds.txt"));
  }
  std::fclose(inheritable);
}

}  // namespace
