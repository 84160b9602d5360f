// The engine that was checked is the engine that runs: the library keeps the checked file
// open, reuses a verdict only for the very same file, and re-checks a file changed in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

class CheckedEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(engine_dir());
    CopyEngineFolderFiles(engine_dir());
  }
  void TearDown() override {
    VXRQuitScanContext(context_);
    VXRQuitLib();
  }

  std::filesystem::path engine_dir() const { return folder_.path() / "engine"; }
  std::filesystem::path engine() const { return engine_dir() / "vxr.exe"; }

  VXRResult InitAndOpenContext() {
    const VXRResult result = VXRInitLib(engine_dir().string().c_str(), "vxr.exe");
    if (result != VXR_LIB_SUCCESS) return result;
    VXRInitScanContext(&context_);
    return VXRSetStringInfo(context_, VXR_STR_REPORT_DIR, (folder_.path() / "report").string().c_str());
  }

  // Appends a byte to the engine file itself (same inode): its signature no longer holds.
  // False when the system refuses the write.
  bool DamageInPlace() {
    std::ofstream engine_file(engine(), std::ios::binary | std::ios::app);
    engine_file << 'x';
    engine_file.close();
    return static_cast<bool>(engine_file);
  }

  TempFolder folder_;
  VXR_HANDLE context_ = nullptr;
};

TEST_F(CheckedEngineTest, AFileChangedInPlaceAfterTheCheckDoesNotRun) {
  ASSERT_EQ(VXR_LIB_SUCCESS, InitAndOpenContext());
#ifdef _WIN32
  // Windows keeps the checked file as it was: the library holds it without write sharing.
  EXPECT_FALSE(DamageInPlace());
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 0));
#else
  ASSERT_TRUE(DamageInPlace());
  EXPECT_EQ(VXR_LIB_EXECUTE_FAIL, VXRExecute(context_, 0));
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "report" / "settings.txt"));
#endif
}

TEST_F(CheckedEngineTest, AVerdictIsNotReusedForAChangedFile) {
  ASSERT_EQ(VXR_LIB_SUCCESS, InitAndOpenContext());
  ASSERT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 0));
  VXRQuitScanContext(context_);
  context_ = nullptr;
  VXRQuitLib();
  // Same path and inode, same size class of change: only the times and size tell.
  ASSERT_TRUE(DamageInPlace());
  EXPECT_EQ(VXR_LIB_INVALID_VXREXE, VXRInitLib(engine_dir().string().c_str(), "vxr.exe"));
}

TEST_F(CheckedEngineTest, TheCheckedFileRunsAfterItsPathIsReplaced) {
  ASSERT_EQ(VXR_LIB_SUCCESS, InitAndOpenContext());
  const std::filesystem::path impostor = folder_.Write("impostor", "not the checked engine\n");
  std::error_code refused;
  std::filesystem::rename(impostor, engine(), refused);
#ifndef _WIN32  // Windows may refuse to replace a file that is open; either way the checked one runs
  ASSERT_FALSE(refused) << refused.message();
#endif
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 0));
  EXPECT_TRUE(std::filesystem::exists(folder_.path() / "report" / "settings.txt"));
}

TEST_F(CheckedEngineTest, AChangeOfModeOnlyIsCheckedAgainAndRuns) {
  ASSERT_EQ(VXR_LIB_SUCCESS, InitAndOpenContext());
  std::filesystem::permissions(engine(), std::filesystem::perms::owner_all);
  EXPECT_EQ(VXR_LIB_SUCCESS, VXRExecute(context_, 0));
}

}  // namespace
