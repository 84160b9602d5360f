// The engine configuration read through the system's own profile reader.
#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"
#include "support/temp_folder.h"

namespace {

constexpr ProfileKey kWanted[] = {
    {"advanced", "ReportDir"}, {"advanced", "PatternName"}, {"options", "BackupDir"},
    {"options", "Empty"},      {"options", "Long"},         {"options", "Missing"},
};

TEST(WindowsProfileTest, WantedKeysAsTheSystemReadsThem) {
  TempFolder folder;
  const std::string long_value(3000, 'x');  // longer than the first buffer: read whole, never cut
  const std::string path = folder
                               .Write("VXR.INI",
                                      "[ADVANCED]\r\n"
                                      "reportdir = \"rep two\"\r\n"
                                      "PatternName=first.ptn\r\n"
                                      "PatternName=second.ptn\r\n"
                                      "[options]\r\n"
                                      "BackupDir='bk'\r\n"
                                      "Empty=\r\n"
                                      "Long=" +
                                          long_value + "\r\n")
                               .string();
  const ProfileFile profile = ProfileFile::Load(path.c_str(), kWanted);
  struct Case {
    const char* section;
    const char* key;
    const char* value;  // null: absent
  };
  const Case cases[] = {
      {"advanced", "ReportDir", "rep two"}, {"Advanced", "patternname", "first.ptn"},
      {"options", "BackupDir", "bk"},       {"options", "Empty", ""},
      {"options", "Missing", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    const std::string* value = profile.Find(c.section, c.key);
    if (c.value == nullptr) {
      EXPECT_EQ(nullptr, value);
    } else {
      ASSERT_NE(nullptr, value);
      EXPECT_EQ(c.value, *value);
    }
  }
  ASSERT_NE(nullptr, profile.Find("options", "Long"));
  EXPECT_EQ(long_value, *profile.Find("options", "Long"));
}

TEST(WindowsProfileTest, AMissingFileOrAFolderGivesAnEmptyProfile) {
  TempFolder folder;
  for (const std::string& path : {(folder.path() / "missing.ini").string(), folder.path().string()}) {
    SCOPED_TRACE(path);
    const ProfileFile profile = ProfileFile::Load(path.c_str(), kWanted);
    EXPECT_EQ(nullptr, profile.Find("advanced", "ReportDir"));
    EXPECT_EQ("default", profile.GetString("advanced", "ReportDir", "default", 260));
  }
}

}  // namespace
