// The engine's version information as the library reads it, and the minimum-version rule.
#include <gtest/gtest.h>

#include <string>

#include "integrity/engine_validation.h"
#include "platform/version_info.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"

namespace {

constexpr VersionTranslation kGerman = {0x0407, 0x04E4};
constexpr VersionTranslation kEnglish = {0x0409, 0x04B0};

FixedFileInfo FileVersion(uint32_t major, uint32_t minor) {
  FixedFileInfo fixed;
  fixed.file_version_ms = major << 16 | minor;
  fixed.file_version_ls = 0x00000001;
  return fixed;
}

VersionInfoContent::StringTable Table(VersionTranslation translation, std::string special_build = "") {
  VersionInfoContent::StringTable table{translation, {{"FileVersion", "x"}}};
  if (!special_build.empty()) table.strings.emplace_back("SpecialBuild", special_build);
  return table;
}

// An ELF executable carrying `content` as its version information.
std::string EngineWith(const TempFolder& folder, const VersionInfoContent& content) {
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  EXPECT_TRUE(block) << block.error().text;
  platform::Error error;
  std::string image = ReadFile("/bin/true");
  EXPECT_TRUE(block && EmbedVersionInfo(*block, &image, &error)) << error.text;
  return folder.Write("engine", image);
}

TEST(EngineVersionRuleTest, ComparesWithThreeFiveAsText) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {
      {"3.5", true},  {"3.6", true},   {"3.50", true},  {"4.0", true}, {"9", true},
      {"3.4", false}, {"3.10", false}, {"10.0", false}, {"", false},   {"3.", false},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(IsEngineVersionAccepted(test.text), test.accepted) << '"' << test.text << '"';
  }
}

TEST(EngineVersionTest, FileVersionDecidesThroughItsText) {
  struct Case {
    uint32_t major, minor;
    const char* text;
    IntegrityVerdict result;
  } cases[] = {
      {3, 5, "3.5", IntegrityVerdict::kValid},     {3, 6, "3.6", IntegrityVerdict::kValid},
      {3, 50, "3.50", IntegrityVerdict::kValid},   {4, 0, "4.0", IntegrityVerdict::kValid},
      {3, 4, "3.4", IntegrityVerdict::kInvalid},   {3, 10, "3.10", IntegrityVerdict::kInvalid},
      {10, 0, "10.0", IntegrityVerdict::kInvalid}, {65535, 65535, "65535.65535", IntegrityVerdict::kValid},
  };
  TempFolder folder;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.text);
    VersionInfoContent content{FileVersion(test.major, test.minor), {kEnglish}, {Table(kEnglish, "QA 7")}};
    EngineVersionInfo info;
    EXPECT_EQ(CheckEngineVersion(EngineWith(folder, content).c_str(), &info), test.result);
    EXPECT_EQ(info.version, test.text);
    EXPECT_EQ(info.build, "QA 7");
  }
}

TEST(EngineVersionTest, NoVersionInformationFailsAndChangesNothing) {
  TempFolder folder;
  std::string plain = CopyOfTrue(folder, "plain");
  EngineVersionInfo info{"", "kept"};
  EXPECT_EQ(CheckEngineVersion(plain.c_str(), &info), IntegrityVerdict::kInvalid);
  EXPECT_EQ(info.version, "");
  EXPECT_EQ(info.build, "kept");
  ReadEngineVersionInfo((folder.path() / "missing").string().c_str(), &info);
  EXPECT_EQ(info.build, "kept");
  EXPECT_EQ(CheckEngineVersion((folder.path() / "missing").string().c_str(), &info), IntegrityVerdict::kInvalid);
}

// Language 0x0407 with code page 0x04E4 is looked up under "040704E4"; a SpecialBuild of a
// later translation is never seen.
TEST(EngineVersionTest, SpecialBuildComesFromTheFirstTranslationOnly) {
  TempFolder folder;
  VersionInfoContent both{
      FileVersion(3, 5), {kGerman, kEnglish}, {Table(kEnglish, "english"), Table(kGerman, "deutsch")}};
  EngineVersionInfo info;
  ReadEngineVersionInfo(EngineWith(folder, both).c_str(), &info);
  EXPECT_EQ(info.build, "deutsch");

  VersionInfoContent later_only{FileVersion(3, 5), {kGerman, kEnglish}, {Table(kGerman), Table(kEnglish, "english")}};
  EngineVersionInfo later;
  ReadEngineVersionInfo(EngineWith(folder, later_only).c_str(), &later);
  EXPECT_EQ(later.version, "3.5");
  EXPECT_EQ(later.build, "");
}

TEST(EngineVersionTest, WithoutFixedPartTheBuildTextIsStillRead) {
  TempFolder folder;
  VersionInfoContent content{std::nullopt, {kEnglish}, {Table(kEnglish, "no fixed part")}};
  EngineVersionInfo info{"old", ""};
  std::string engine = EngineWith(folder, content);
  ReadEngineVersionInfo(engine.c_str(), &info);
  EXPECT_EQ(info.version, "old");
  EXPECT_EQ(info.build, "no fixed part");
  EngineVersionInfo fresh;
  EXPECT_EQ(CheckEngineVersion(engine.c_str(), &fresh), IntegrityVerdict::kInvalid);
}

// The library keeps the build text in a 260-byte field; a longer one is cut to 259 bytes
// without splitting a character.
TEST(EngineVersionTest, LongBuildTextIsCutOnACharacterBoundary) {
  TempFolder folder;
  std::string long_text;
  for (int i = 0; i < 200; ++i) long_text += "\xC3\xA9";  // é, two bytes each
  VersionInfoContent content{FileVersion(3, 5), {kEnglish}, {Table(kEnglish, long_text)}};
  EngineVersionInfo info;
  ReadEngineVersionInfo(EngineWith(folder, content).c_str(), &info);
  EXPECT_EQ(info.build, long_text.substr(0, 258));
}

}  // namespace
