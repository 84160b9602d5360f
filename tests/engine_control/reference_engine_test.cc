// The reference engine's own failures: each ends it with a message on standard error and an
// exit code of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "launch_fixtures.h"
#include "platform/process.h"
#include "settings_block/settings_block.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

// The call that takes the harness's block into the engine.
#ifdef _WIN32
constexpr const char* kDuplicateCall = "DuplicateHandle";
#else
constexpr const char* kDuplicateCall = "pidfd_getfd";
#endif

std::vector<std::string> BlockArguments(uint32_t handle) {
  return {"/SMH=" + std::to_string(handle), "/PI=" + std::to_string(platform::CurrentProcessId())};
}

TEST(ReferenceEngineTest, EachFailureHasItsMessageAndExitCode) {
  TempFolder folder;
  const std::filesystem::path blocker = folder.Write("file", "a file, not a folder");

  SharedBlock good;
  ASSERT_TRUE(WriteBlock(&good, RecordList().String(VXR_STR_REPORT_DIR, folder.str()).Terminate()));
  SharedBlock changed;
  ASSERT_TRUE(WriteBlock(&changed, RecordList().String(VXR_STR_REPORT_DIR, folder.str()).Terminate()));
  changed.bytes()[SharedBlock::kHeaderSize + 8] ^= std::byte{0x20};
  SharedBlock no_folder;
  ASSERT_TRUE(
      WriteBlock(&no_folder, RecordList().String(VXR_STR_REPORT_DIR, (blocker / "report").string()).Terminate()));
  // A sound header and checksum around a flag record of length 0.
  SharedBlock malformed;
  ASSERT_TRUE(malformed.Create(12 + 8 + 12));
  const uint8_t data[] = {1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(malformed.bytes().data() + 12, data, sizeof data);
  malformed.Finish();

  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    const char* exit_variable;
    int exit_code;
    std::string message;
  } cases[] = {
      {"no arguments", {}, "", 64, "no /SMH= argument"},
      {"bad number", {"/SMH=1x", "/PI=1"}, "", 64, "/SMH=1x is not"},
      {"bad steering", BlockArguments(good.Handle()), "abc", 64, "VXR_REF_EXIT=abc is not"},
      {"no block", BlockArguments(999999), "", 65, std::string("cannot read the settings block: ") + kDuplicateCall},
      {"changed block", BlockArguments(changed.Handle()), "", 66, "checksum"},
      {"malformed record", BlockArguments(malformed.Handle()), "", 67, "record 0x01000001"},
      {"report folder", BlockArguments(no_folder.Handle()), "", 68, "cannot create the report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun run = RunProgram(kReferenceEngine, c.arguments, {.environment = {{"VXR_REF_EXIT", c.exit_variable}}});
    EXPECT_EQ(0, run.signal);
    EXPECT_EQ(c.exit_code, run.exit_code);
    EXPECT_TRUE(run.errors.starts_with("vxr_ref: ")) << run.errors;
    EXPECT_NE(std::string::npos, run.errors.find(c.message)) << run.errors;
  }
}

TEST(ReferenceEngineTest, ASignalThatDoesNotKillEndsWithItsOwnCode) {
  TempFolder folder;
  SharedBlock block;
  ASSERT_TRUE(WriteBlock(&block, RecordList().String(VXR_STR_REPORT_DIR, folder.str()).Terminate()));
  // SIGWINCH: ignored by default.
  ProgramRun run =
      RunProgram(kReferenceEngine, BlockArguments(block.Handle()), {.environment = {{"VXR_REF_SIGNAL", "28"}}});
  EXPECT_EQ(69, run.exit_code);
  EXPECT_NE(std::string::npos, run.errors.find("signal 28 did not end")) << run.errors;
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "settings.txt"));
}

TEST(ReferenceEngineTest, WritesItsReportIntoReportUnderTheCurrentFolderWithoutTheSetting) {
  TempFolder folder;
  SharedBlock block;
  ASSERT_TRUE(WriteBlock(&block, RecordList().Flag(VXR_FLG_BACKUP_FILE, 1).Terminate()));
  EXPECT_EQ(0, RunProgram(kReferenceEngine, BlockArguments(block.Handle()), {.folder = folder.path()}).exit_code);
  EXPECT_EQ(std::vector<std::string>{"0x01000001 flag 1"}, ReadLines(folder.path() / "report" / "settings.txt"));
}

}  // namespace
