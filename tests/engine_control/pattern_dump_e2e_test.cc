// DUMP_PATTERNS_ONLY from end to end: the library runs the reference engine on a copy of the
// build's engine folder, and the engine lists the names of the pattern file its settings name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

class PatternDumpE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(engine_dir());
    CopyEngineFolderFiles(engine_dir());
    ASSERT_EQ(VXR_LIB_SUCCESS, VXRInitLib(engine_dir().c_str(), "vxr.exe"));
    ASSERT_EQ(VXR_LIB_SUCCESS, VXRInitScanContext(&context_));
    ASSERT_EQ(VXR_LIB_SUCCESS, VXRSetStringInfo(context_, VXR_STR_REPORT_DIR, report_dir().c_str()));
  }
  void TearDown() override {
    VXRQuitScanContext(context_);
    VXRQuitLib();
  }

  std::string engine_dir() const { return (folder_.path() / "engine").string(); }
  std::string report_dir() const { return (folder_.path() / "report").string(); }
  std::filesystem::path patterns_txt() const { return folder_.path() / "report" / "patterns.txt"; }

  static std::vector<std::string> SourceNames(const char* list) {
    return ReadLines(std::filesystem::path(TESTKVE_SOURCE_DIR) / "tools/engine_folder" / list);
  }

  TempFolder folder_;
  VXR_HANDLE context_ = nullptr;
};

TEST_F(PatternDumpE2eTest, TheEngineListsThePatternFilesNamesInOrder) {
  ASSERT_EQ(VXR_LIB_SUCCESS, VXRSetValueInfo(context_, VXR_INT_EXECUTE_MODE, DUMP_PATTERNS_ONLY));
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 1));
  EXPECT_EQ(ReadLines(patterns_txt()), SourceNames("vxr_names.txt"));

  // The /VA handler's spelling of the VA pattern file.
  ASSERT_EQ(VXR_LIB_SUCCESS, VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "QLVAmain.ptn"));
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 1));
  EXPECT_EQ(ReadLines(patterns_txt()), SourceNames("qlvamain_names.txt"));
}

TEST_F(PatternDumpE2eTest, AMissingPatternFileIsTheEnginesLoadFailure) {
  ASSERT_EQ(VXR_LIB_SUCCESS, VXRSetValueInfo(context_, VXR_INT_EXECUTE_MODE, DUMP_PATTERNS_ONLY));
  ASSERT_EQ(VXR_LIB_SUCCESS, VXRSetStringInfo(context_, VXR_STR_PATTERN_FILENAME, "none.ptn"));
  EXPECT_EQ(VXR_RET_LOAD_PATTERN_FAILED, VXRExecute(context_, 1));
  EXPECT_FALSE(std::filesystem::exists(patterns_txt()));
}

TEST_F(PatternDumpE2eTest, OtherModesListNothing) {
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 1));
  EXPECT_TRUE(std::filesystem::exists(folder_.path() / "report" / "settings.txt"));
  EXPECT_FALSE(std::filesystem::exists(patterns_txt()));
}

}  // namespace
