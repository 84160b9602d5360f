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
      "[unclosed\n"
      "AfterUnclosed=still in advanced\n"
      "LoneCr=ends here\rNextLine=after a lone CR\n"
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
      {"advanced", "AfterUnclosed", "still in advanced"},
      {"unclosed", "AfterUnclosed", "default"},
      {"advanced", "LoneCr", "ends here"},
      {"advanced", "NextLine", "after a lone CR"},
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
  EXPECT_EQ(profile.GetString("s", "b", "", 260), "2") << "a lone CR ends a line";
  EXPECT_EQ(profile.GetString("s", "c", "", 260), "3");
  EXPECT_EQ(profile.GetString("s", "last", "", 260), "no line end");
  EXPECT_EQ(profile.GetString("s", "nul", "", 260), "ab");
}

constexpr ProfileKey kBackupDir[] = {{"options", "BackupDir"}};

TEST(ProfileTest, LoadReadsAFileAndTakesAnythingElseAsEmpty) {
  const TempFolder temp;
  const std::filesystem::path& folder = temp.path();
  const auto file = temp.Write("VXR.INI", "[options]\nBackupDir=bk\n");
  auto read = [](const std::filesystem::path& path) {
    return ProfileFile::Load(path.c_str(), kBackupDir).GetString("options", "BackupDir", "d", 260);
  };
  EXPECT_EQ(read(file), "bk");
  EXPECT_EQ(read(folder / "missing"), "d");
  EXPECT_EQ(read(folder), "d");
  EXPECT_EQ(read("/dev/zero"), "d");
}

// Load keeps the first value of each wanted key only, and reads exactly what Parse reads,
// whichever way the file's line ends fall across its read chunks.
TEST(ProfileTest, LoadKeepsOnlyTheWantedKeysAndReadsAsParseDoes) {
  const TempFolder temp;
  // The comment's CR is the last byte of the first 64 KiB chunk, its LF the first of the next.
  const std::string padding = "; " + std::string(64 * 1024 - 41, 'p') + "\r";
  const std::string text = "\xEF\xBB\xBF[Options]\r\nOther=1\nbackupdir=first\r" + padding +
                           "\nBackupDir=second\n[options]\nBackupDir=third\n" +
                           "[advanced]\nLevel=" + std::string(100000, '7') + "\r\n";
  const auto file = temp.Write("VXR.INI", text);
  constexpr ProfileKey kWanted[] = {{"OPTIONS", "BACKUPDIR"}, {"advanced", "Level"}};
  const ProfileFile loaded = ProfileFile::Load(file.c_str(), kWanted);
  const ProfileFile parsed = ProfileFile::Parse(text);
  ASSERT_NE(nullptr, loaded.Find("options", "BackupDir"));
  EXPECT_EQ("first", *loaded.Find("options", "BackupDir"));
  EXPECT_EQ(std::string(100000, '7'), *loaded.Find("advanced", "level")) << "never cut by Find";
  EXPECT_EQ(nullptr, loaded.Find("options", "Other")) << "not wanted, not kept";
  EXPECT_EQ("1", parsed.GetString("options", "Other", "", 260));
  for (const ProfileKey& key : kWanted) {
    EXPECT_EQ(*parsed.Find(key.section, key.key), *loaded.Find(key.section, key.key));
  }
}

}  // namespace
