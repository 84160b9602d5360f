// /VER in the bundled engine folder: the engine version and the versions that the build gave
// its three pattern files (tools/engine_folder/CMakeLists.txt), read by the library.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

// The lines after the pass line, where /VER prints.
std::vector<std::string> VersionLines(const std::string& output) {
  std::vector<std::string> lines = Lines(output);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Run stress: ", 0) == 0) return {lines.begin() + static_cast<long>(i) + 1, lines.end()};
  }
  return {};
}

TEST(PatternVersionsE2eTest, VersionShowsTheEngineAndThreePatternFiles) {
  EngineFolderCopy folder;
  ProgramRun run = RunProgram(BuiltProgram("testkve"), {"/NH", "/VER"}, {folder.path()});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_EQ(VersionLines(run.output), (std::vector<std::string>{"KVE Version: 3.5-1001", "VXR Pattern: 4521",
                                                                "SPY Pattern: 1187", "VA  Pattern: 309"}));
}

// Both calls of the size-then-copy pair report the failure; the other lines stay.
TEST(PatternVersionsE2eTest, AMissingPatternFileLosesOnlyItsLine) {
  EngineFolderCopy folder;
  std::filesystem::remove(folder.path() / "qlakve.ptn");
  ProgramRun run = RunProgram(BuiltProgram("testkve"), {"/NH", "/VER"}, {folder.path()});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_EQ(
      VersionLines(run.output),
      (std::vector<std::string>{"KVE Version: 3.5-1001", "VXR Pattern: 4521", "Error Code: VXR_LIB_PATTERN_NOT_EXIST",
                                "Error Code: VXR_LIB_PATTERN_NOT_EXIST", "VA  Pattern: 309"}));
}

}  // namespace
