// The VS_VERSIONINFO reader and writer, and executables of this system that carry it in their
// ELF note.
#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <string>

#include "support/damaged_copies.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"

namespace {

VersionInfoContent SampleContent() {
  VersionInfoContent content;
  content.fixed = FixedFileInfo{0x00030005, 0x00000001, 0x00030006, 0x00000002};
  content.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
  content.string_tables = {{{0x0407, 0x04E4}, {{"SpecialBuild", "Prüfung"}, {"Empty", ""}}},
                           {{0x0409, 0x04B0}, {{"SpecialBuild", "check 😀"}}}};
  return content;
}

std::vector<uint8_t> SampleBlock() {
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(SampleContent());
  EXPECT_TRUE(block) << block.error().text;
  return block ? *block : std::vector<uint8_t>();
}

// Runs every query a reader makes; a damaged block must answer without reading outside it,
// which the sanitizer build checks.
void QueryEverything(const VersionInfo& info) {
  FixedFileInfo fixed;
  std::vector<VersionTranslation> translations;
  std::string text;
  info.QueryFixedFileInfo(&fixed);
  info.QueryTranslations(&translations);
  info.QueryString("\\StringFileInfo\\040704E4\\SpecialBuild", &text);
  info.QueryString("\\StringFileInfo\\040904B0\\SpecialBuild", &text);
  info.QueryString("\\StringFileInfo\\040704E4\\Empty", &text);
}

// Every answer that a damaged block gives is a view into the block itself.
void ExpectAnswersInside(const VersionInfo& info) {
  const std::vector<uint8_t>& block = info.block();
  for (std::string_view path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040704E4\\SpecialBuild",
                                "\\StringFileInfo\\040904B0\\SpecialBuild", "\\StringFileInfo\\040704E4\\Empty"}) {
    std::span<const uint8_t> value;
    if (!info.QueryValue(path, &value) || value.empty()) continue;
    EXPECT_TRUE(value.data() >= block.data() && value.data() + value.size() <= block.data() + block.size()) << path;
  }
  QueryEverything(info);
}

TEST(VersionInfoTest, WhatIsWrittenIsReadBack) {
  VersionInfo info(SampleBlock());
  FixedFileInfo fixed;
  ASSERT_TRUE(info.QueryFixedFileInfo(&fixed));
  EXPECT_EQ(fixed.file_version_ms, 0x00030005u);
  EXPECT_EQ(fixed.file_version_ls, 0x00000001u);
  EXPECT_EQ(fixed.product_version_ms, 0x00030006u);
  std::vector<VersionTranslation> translations;
  ASSERT_TRUE(info.QueryTranslations(&translations));
  ASSERT_EQ(translations.size(), 2u);
  EXPECT_EQ(translations[0].language, 0x0407);
  EXPECT_EQ(translations[0].code_page, 0x04E4);
  std::string text;
  EXPECT_TRUE(info.QueryString("\\StringFileInfo\\040704E4\\SpecialBuild", &text));
  EXPECT_EQ(text, "Prüfung");
  EXPECT_TRUE(info.QueryString("\\StringFileInfo\\040904b0\\specialbuild", &text));
  EXPECT_EQ(text, "check 😀");
  EXPECT_TRUE(info.QueryString("\\StringFileInfo\\040704E4\\Empty", &text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(info.QueryString("\\StringFileInfo\\040904E4\\SpecialBuild", &text));
  EXPECT_FALSE(info.QueryString("\\StringFileInfo\\040704E4\\Missing", &text));
  std::span<const uint8_t> root;
  ASSERT_TRUE(info.QueryValue("\\", &root));
  EXPECT_EQ(root.size(), 52u);
}

TEST(VersionInfoTest, BlockWithoutFixedPartOrTranslationsAnswersAbsent) {
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock({});
  ASSERT_TRUE(block);
  VersionInfo info(*block);
  FixedFileInfo fixed;
  std::vector<VersionTranslation> translations;
  EXPECT_FALSE(info.QueryFixedFileInfo(&fixed));
  EXPECT_FALSE(info.QueryTranslations(&translations));
  EXPECT_FALSE(VersionInfo({}).QueryFixedFileInfo(&fixed));
}

TEST(VersionInfoTest, InvalidTextIsRefusedWhenBuilding) {
  VersionInfoContent content = SampleContent();
  content.string_tables[0].strings.emplace_back("SpecialBuild", "\xFF\xFE");
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  EXPECT_FALSE(block);
  EXPECT_NE(block.error().text.find("UTF-8"), std::string::npos);
  content = SampleContent();
  content.string_tables[0].strings.emplace_back("Huge", std::string(40000, 'x'));
  EXPECT_FALSE(BuildVersionInfoBlock(content));
}

TEST(VersionInfoTest, DamagedBlocksNeverReadOutside) {
  const std::vector<uint8_t> block = SampleBlock();
  for (const auto& cut : CutCopies(block)) ExpectAnswersInside(VersionInfo(cut.bytes));
  for (const auto& changed : FlippedCopies(block)) ExpectAnswersInside(VersionInfo(changed.bytes));
}

// ---- Executables with the ELF note ----------------------------------------------------------
// (The note's format, on every system: elf_version_note_test.cc.)

TEST(ElfExecutableVersionTest, AnExecutableKeepsItsNoteAndStillRuns) {
  TempFolder folder;
  std::string image = ReadFile("/bin/true");
  const std::vector<uint8_t> block = SampleBlock();
  platform::Error error;
  ASSERT_TRUE(EmbedVersionInfo(block, &image, &error)) << error.text;
  const std::string path = folder.Write("true", image).string();
  const std::optional<VersionInfo> read = VersionInfo::ReadFromFile(path.c_str());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->block(), block);
  // The loader reads only the program headers, which stay as they were.
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  EXPECT_EQ(RunProgram(path, {}).exit_code, 0);
  EXPECT_TRUE(RunShell("readelf -n " + path + " | grep -q 'VXR'"));
  // Cut short on disk, the file's own size bounds the read.
  EXPECT_FALSE(VersionInfo::ReadFromFile(folder.Write("cut", image.substr(0, image.size() - 1)).string().c_str()));
}

TEST(ElfExecutableVersionTest, FilesWithoutANoteAnswerNothing) {
  TempFolder folder;
  EXPECT_FALSE(VersionInfo::ReadFromFile("/bin/true"));
  EXPECT_FALSE(VersionInfo::ReadFromFile(folder.Write("text", "not an executable").string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile((folder.path() / "missing").string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile(folder.path().string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile(nullptr));
}

}  // namespace
