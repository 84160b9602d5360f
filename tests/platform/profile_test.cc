// The profile-string reader: the lookup rules of the Windows reader on INI text.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace {

TEST(ProfileTest, LookupRules) {
  const ProfileFile profile = ProfileFile::Parse(
      "; a comment=not a key\n"
      "orphan=outside any section\n"
      "  [ Options ]  \n"
      "  BackupDir  =  spaced value  \n"
      "backupdir=second key of the same name\n"
      "Quoted=\"in double quotes\"\n"
      "Single='in single quotes'\n"
      "Mismatched=\"open only\n"
      "Inner=a \"b\" c\n"
      "Empty=\n"
      "NoEquals\n"
      "  ; Commented=1\n"
      "Equals=a=b\n"
      "[advanced]\n"
      "Level=3\n"
      "[OPTIONS]\n"
      "Later=in a second section of the same name\n");
  const struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"options", "BackupDir", "spaced value"},
      {"OPTIONS", "BACKUPDIR", "spaced value"},
      {"options", "Quoted", "in double quotes"},
      {"options", "Single", "in single quotes"},
      {"options", "Mismatched", "\"open only"},
      {"options", "Inner", "a \"b\" c"},
      {"options", "Empty", ""},
      {"options", "NoEquals", "default"},
      {"options", "Commented", "default"},
      {"options", "; a comment", "default"},
      {"options", "Equals", "a=b"},
      {"options", "orphan", "default"},
      {"options", "Level", "default"},
      {"advanced", "Level", "3"},
      {"options", "Later", "default"},
      {"missing", "BackupDir", "default"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(profile.GetString(c.section, c.key, "default", 260), c.expected);
  }
}

TEST(ProfileTest, TheResultIsCutToTheBufferSizeLessOne) {
  const ProfileFile profile = ProfileFile::Parse("[s]\nk=12345\n");
  EXPECT_EQ(profile.GetString("s", "k", "", 2), "1");
  EXPECT_EQ(profile.GetString("s", "k", "", 6), "12345");
  EXPECT_EQ(profile.GetString("s", "k", "", 1), "");
  EXPECT_EQ(profile.GetString("s", "k", "", 0), "");
  EXPECT_EQ(profile.GetString("s", "missing", "abcdef", 4), "abc");
}

TEST(ProfileTest, LineEndsByteOrderMarkAndNul) {
  constexpr char kText[] = "\xEF\xBB\xBF[s]\r\na=1\r\nb=2\rc=3\nnul=ab\0cd\nlast=no line end";
  const ProfileFile profile = ProfileFile::Parse(std::string(kText, sizeof(kText) - 1));
  EXPECT_EQ(profile.GetString("s", "a", "", 260), "1");
  EXPECT_EQ(profile.GetString("s", "b", "", 260), "2\rc=3") << "a lone CR ends no line";
  EXPECT_EQ(profile.GetString("s", "last", "", 260), "no line end");
  EXPECT_EQ(profile.GetString("s", "nul", "", 260), "ab");
}

TEST(ProfileTest, LoadReadsAFileAndTakesAnythingElseAsEmpty) {
  const TempFolder temp;
  const std::filesystem::path& folder = temp.path();
  const auto file = temp.Write("VXR.INI", "[options]\nBackupDir=bk\n");
  EXPECT_EQ(ProfileFile::Load(file.c_str()).GetString("options", "BackupDir", "d", 260), "bk");
  EXPECT_EQ(ProfileFile::Load((folder / "missing").c_str()).GetString("options", "BackupDir", "d", 260), "d");
  EXPECT_EQ(ProfileFile::Load(folder.c_str()).GetString("options", "BackupDir", "d", 260), "d");
  EXPECT_EQ(ProfileFile::Load("/dev/zero").GetString("options", "BackupDir", "d", 260), "d");
}

}  // namespace
