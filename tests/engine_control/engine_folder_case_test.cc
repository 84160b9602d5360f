// The engine folder ignores case when the exact name is missing: the engine and VXR.INI are
// found under another spelling, unless two entries would match.
#include <gtest/gtest.h>

#include <string>

#include "support/engine_file.h"
#include "support/temp_folder.h"
#include "vxr_lib.h"

namespace {

std::string PatternName(VXR_HANDLE context) {
  char buffer[300] = {};
  uint32_t size = sizeof(buffer);
  return VXRGetStringInfo(context, VXR_STR_PATTERN_FILENAME, buffer, &size) == VXR_LIB_SUCCESS ? buffer : "<failed>";
}

TEST(EngineFolderCaseTest, EngineAndConfigurationFoundUnderAnotherCase) {
  TempFolder folder;
  ASSERT_TRUE(MakeEngineFile(folder.path() / "vxr.exe"));
  folder.Write("vxr.ini", "[advanced]\nPatternName=mine.ptn\n");
  ASSERT_EQ(VXRInitLib(folder.str().c_str(), nullptr), VXR_LIB_SUCCESS) << "VXR.EXE is vxr.exe";
  VXR_HANDLE context = nullptr;
  ASSERT_EQ(VXRInitScanContext(&context), VXR_LIB_SUCCESS);
  EXPECT_EQ(PatternName(context), "mine.ptn") << "VXR.INI is vxr.ini";
  EXPECT_EQ(VXRVerifySignature(nullptr), VXR_LIB_SUCCESS);
  VXRQuitScanContext(context);
  VXRQuitLib();
}

#ifndef _WIN32  // a Windows folder ignores case: two spellings name one file
TEST(EngineFolderCaseTest, TwoOtherSpellingsLeaveOnlyTheExactName) {
  TempFolder folder;
  ASSERT_TRUE(MakeEngineFile(folder.path() / "vxr.exe"));
  ASSERT_TRUE(MakeEngineFile(folder.path() / "Vxr.exe"));
  EXPECT_EQ(VXRInitLib(folder.str().c_str(), nullptr), VXR_LIB_INVALID_VXREXE);
  ASSERT_EQ(VXRInitLib(folder.str().c_str(), "Vxr.exe"), VXR_LIB_SUCCESS);
  VXRQuitLib();
}
#endif

TEST(EngineFolderCaseTest, DescribeEngineFindsTheEngineAsInitialisationWould) {
  TempFolder folder;
  ASSERT_TRUE(MakeEngineFile(folder.path() / "vxr.exe"));
  VXREngineFacts facts;
  ASSERT_EQ(VXRDescribeEngine(folder.str().c_str(), "VXR.EXE", &facts), VXR_LIB_SUCCESS);
  EXPECT_STREQ(facts.version, "3.5");
  EXPECT_EQ(std::string(facts.sha256).size(), 64u);
  EXPECT_EQ(VXRDescribeEngine(folder.str().c_str(), "other.exe", &facts), VXR_LIB_NOT_EXIST);
  EXPECT_STREQ(facts.sha256, "") << "emptied on failure";
  EXPECT_EQ(VXRDescribeEngine(folder.str().c_str(), nullptr, nullptr), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(VXRDescribeEngine(nullptr, nullptr, &facts), VXR_LIB_INVALID_PARAMETER);
}

}  // namespace
