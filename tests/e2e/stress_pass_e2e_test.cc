// A stress pass through the traced client against the reference engine: traces, failure names,
// engine outcomes, and what the engine process inherits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness_run.h"
#include "settings_witness.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

TEST(StressPassE2eTest, DefaultRunHandsThePresetsToTheEngine) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(
      "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\nRun stress: 1 round\n"
      "Launch KVE program\n",
      run.output);
  EXPECT_EQ(DefaultPresetLines(folder.path()), ReceivedSettings(folder.path()));
}

TEST(StressPassE2eTest, DebugTracesEveryCallInItsWording) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/DEBUG", "/GC", "/PTN=a b.ptn", "/LEVEL=2"});
  const std::string marker = "rc = 0, SC = ";
  size_t at = run.output.find(marker);
  ASSERT_NE(std::string::npos, at) << run.output;
  at += marker.size();
  std::string sc = run.output.substr(at, run.output.find('\n', at) - at);
  ASSERT_EQ(std::string::npos, sc.find_first_not_of("0123456789abcdef")) << sc;
  EXPECT_EQ(
      "Set VXR.exe file path: .\n"
      "Set VXR.exe file name: vxr.exe\n"
      "Run stress: 1 round\n"
      ">>> VXRInitLib()\n"
      "<<< VXRInitLib() : .\\vxr.exe \n"
      "<<< VXRInitLib() : 0\n"
      ">>> VXRInitScanContext()\n"
      "<<< VXRInitScanContext() : rc = 0, SC = " +
          sc +
          "\n"
          "Enable Generic Clean\n"
          ">>> VXRSetFlagInfo(SC = " +
          sc +
          ", dwID = VXR_FLG_ENABLE_GENCLEAN, Value = 1)\n"
          "<<< VXRSetFlagInfo() : 0\n"
          "Set pattern file name: a b.ptn\n"
          ">>> VXRSetStringInfo(SC = " +
          sc +
          ", dwID = VXR_STR_PATTERN_FILENAME, String = a b.ptn)\n"
          "<<< VXRSetStringInfo() : 0\n"
          ">>> VXRSetValueInfo(SC = " +
          sc +
          ", dwID = VXR_INT_DEBUG_INFO_LEVEL, Flag = 2)\n"
          "<<< VXRSetValueInfo() : 0\n"
          "Launch KVE program\n"
          ">>> VXRExecute(SC = " +
          sc +
          ", dwMode = 0)\n"
          "<<< VXRExecute() : 0\n"
          ">>> VXRQuitScanContext(SC=" +
          sc +
          ")\n"
          "<<< VXRQuitScanContext(): 0\n"
          ">>> VXRQuitLib()\n"
          "<<< VXRQuitLib(): 0\n",
      run.output);
}

TEST(StressPassE2eTest, FailureIsNamedWithoutDebugAndTracedWithIt) {
  EngineFolderCopy folder;
  ProgramRun quiet = Harness(folder, {"/LEVEL=9"});
  EXPECT_EQ(1u, CountOf(quiet.output, "Error Code: VXR_LIB_INVALID_PARAMETER\n"));
  EXPECT_EQ(0u, CountOf(quiet.output, ">>>"));
  ProgramRun traced = Harness(folder, {"/LEVEL=9", "/DEBUG"});
  EXPECT_EQ(1u, CountOf(traced.output,
                        "<<< VXRSetValueInfo() : -2147483643\n"
                        "Error Code: VXR_LIB_INVALID_PARAMETER\n"));
}

TEST(StressPassE2eTest, EngineOutcomeBecomesTheResult) {
  const std::pair<std::map<std::string, std::string>, const char*> cases[] = {
      {{{"VXR_REF_EXIT", "0"}}, nullptr},
      {{{"VXR_REF_EXIT", "1"}}, "Error Code: 0x1\n"},
      {{{"VXR_REF_EXIT", "-90"}}, "Error Code: VXR_RET_INIT_EXIST_INSTANCE\n"},
      {{{"VXR_REF_EXIT", "-91"}}, "Error Code: VXR_RET_REBOOT_MACHINE\n"},
      {{{"VXR_REF_EXIT", "-93"}}, "Error Code: VXR_RET_LOAD_PATTERN_FAILED\n"},
      {{{"VXR_REF_EXIT", "200"}}, "Error Code: 0xffffffc8\n"},
      {{{"VXR_REF_SIGNAL", "9"}}, "Error Code: 0xc0000009\n"},
      {{{"VXR_REF_SIGNAL", "15"}}, "Error Code: 0xc000000f\n"},
  };
  for (const auto& [environment, failure] : cases) {
    SCOPED_TRACE(environment.begin()->first + "=" + environment.begin()->second);
    EngineFolderCopy folder;
    ProgramRun run = Harness(folder, {"/DEBUG"}, environment);
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(failure == nullptr ? 0u : 1u, CountOf(run.output, "Error Code: "));
    if (failure != nullptr) {
      EXPECT_EQ(1u, CountOf(run.output, failure)) << run.output;
    }
    // The pass goes on to its quit whatever the engine did.
    EXPECT_EQ(1u, CountOf(run.output, "<<< VXRQuitLib(): 0\n"));
  }
}

TEST(StressPassE2eTest, EngineThatCannotStartFailsEachPassAndTheRunGoesOn) {
  EngineFolderCopy folder;
  std::filesystem::permissions(
      folder.path() / "vxr.exe",
      std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec | std::filesystem::perms::others_exec,
      std::filesystem::perm_options::remove);
  ProgramRun run = Harness(folder, {"/RUN=2"});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(2u, CountOf(run.output, "Launch KVE program\nError Code: VXR_LIB_EXECUTE_FAIL\n"));
}

TEST(StressPassE2eTest, MissingEngineIsRefusedAtInitialisation) {
  EngineFolderCopy folder;
  std::filesystem::remove(folder.path() / "vxr.exe");
  ProgramRun run = Harness(folder, {});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(
      "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\nRun stress: 1 round\n"
      "Error Code: VXR_LIB_INVALID_VXREXE\n"
      "Error Code: VXR_LIB_NOT_INIT\n"
      "Launch KVE program\n"
      "Error Code: VXR_LIB_NOT_INIT\n"
      "Error Code: VXR_LIB_NOT_INIT\n",
      run.output);
}

TEST(StressPassE2eTest, UnsignedEngineIsRefused) {
  EngineFolderCopy folder;
  std::filesystem::path engine = folder.path() / "vxr.exe";
  std::filesystem::resize_file(engine, std::filesystem::file_size(engine) - 1);
  ProgramRun run = Harness(folder, {});
  EXPECT_EQ(1u, CountOf(run.output, "Error Code: VXR_LIB_INVALID_VXREXE\n"));
  EXPECT_EQ(0u, CountOf(run.output, "Error Code: 0x"));
}

TEST(StressPassE2eTest, EachPassInitialisesAndQuitsTheLibrary) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/RUN=3", "/DEBUG"});
  EXPECT_EQ(3u, CountOf(run.output, "<<< VXRInitLib() : 0\n"));
  EXPECT_EQ(3u, CountOf(run.output, "<<< VXRExecute() : 0\n"));
  EXPECT_EQ(3u, CountOf(run.output, "<<< VXRQuitLib(): 0\n"));
  EXPECT_EQ(0u, CountOf(run.output, "Error Code"));
}

TEST(StressPassE2eTest, NoHarnessDescriptorReachesTheEngine) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/RUN=2"}, {{"VXR_REF_FD_REPORT", "1"}});
  EXPECT_EQ(0u, CountOf(run.output, "Error Code"));
  ASSERT_TRUE(std::filesystem::exists(folder.path() / "report" / "fds.txt"));
  EXPECT_EQ("", ReadFile(folder.path() / "report" / "fds.txt"));
}

}  // namespace
