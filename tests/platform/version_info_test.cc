// The VS_VERSIONINFO reader and writer, and its ELF note.
#include "platform/version_info.h"
#include "platform/posix/elf_version_note.h"

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

// ---- The ELF note ---------------------------------------------------------------------------

// The smallest ELF files: a header without sections, 64-bit little-endian or 32-bit
// big-endian.
std::string BareElf64() {
  std::string header(64, '\0');
  header.replace(0, 7, std::string{0x7F, 'E', 'L', 'F', 2, 1, 1});
  header[16] = 2;   // ET_EXEC
  header[18] = 62;  // x86-64
  header[20] = 1;
  header[52] = 64;  // e_ehsize
  return header;
}

std::string BareElf32BigEndian() {
  std::string header(52, '\0');
  header.replace(0, 7, std::string{0x7F, 'E', 'L', 'F', 1, 2, 1});
  header[17] = 2;  // ET_EXEC
  header[19] = 8;  // MIPS
  header[23] = 1;
  header[41] = 52;  // e_ehsize
  return header;
}

std::optional<VersionInfo> EmbedAndRead(const TempFolder& folder, std::string* image,
                                        const std::vector<uint8_t>& block) {
  platform::Error error;
  EXPECT_TRUE(EmbedVersionInfo(block, image, &error)) << error.text;
  return VersionInfo::ReadFromFile(folder.Write("elf", *image).string().c_str());
}

TEST(ElfVersionNoteTest, EmbeddedBlockIsReadBackFromEveryKindOfElf) {
  TempFolder folder;
  const std::vector<uint8_t> block = SampleBlock();
  for (const std::string& elf : {ReadFile("/bin/true"), BareElf64(), BareElf32BigEndian()}) {
    std::string image = elf;
    std::optional<VersionInfo> read = EmbedAndRead(folder, &image, block);
    ASSERT_TRUE(read.has_value()) << "ELF of " << elf.size() << " bytes";
    EXPECT_EQ(read->block(), block);
    EXPECT_EQ(image.compare(0, 16, elf, 0, 16), 0) << "identification changed";
  }
}

TEST(ElfVersionNoteTest, SettingAgainReplacesTheNote) {
  TempFolder folder;
  std::string image = ReadFile("/bin/true");
  std::vector<uint8_t> first = SampleBlock();
  EmbedAndRead(folder, &image, first);
  size_t size_after_first = image.size();

  VersionInfoContent smaller = SampleContent();
  smaller.string_tables.pop_back();
  platform::Result<std::vector<uint8_t>> second = BuildVersionInfoBlock(smaller);
  ASSERT_TRUE(second);
  std::optional<VersionInfo> read = EmbedAndRead(folder, &image, *second);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->block(), *second);
  EXPECT_EQ(image.size(), size_after_first) << "a note that fits is written in place";

  VersionInfoContent larger = SampleContent();
  larger.string_tables[0].strings.emplace_back("Comments", std::string(2000, 'c'));
  platform::Result<std::vector<uint8_t>> third = BuildVersionInfoBlock(larger);
  ASSERT_TRUE(third);
  read = EmbedAndRead(folder, &image, *third);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->block(), *third);
}

// The loader reads only the program headers, which stay as they were.
TEST(ElfVersionNoteTest, ExecutableStillRunsWithItsNote) {
  TempFolder folder;
  std::string image = ReadFile("/bin/true");
  platform::Error error;
  ASSERT_TRUE(EmbedVersionInfo(SampleBlock(), &image, &error)) << error.text;
  std::string path = folder.Write("true", image).string();
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  EXPECT_EQ(RunProgram(path, {}).exit_code, 0);
  EXPECT_TRUE(RunShell("readelf -n " + path + " | grep -q 'VXR'"));
}

TEST(ElfVersionNoteTest, NonElfImagesAreRefusedUnchanged) {
  platform::Error error;
  for (std::string image :
       {std::string(), std::string("MZ\x90\0", 4), std::string(100, 'x'), BareElf64().substr(0, 40)}) {
    std::string before = image;
    EXPECT_FALSE(EmbedVersionInfo(SampleBlock(), &image, &error));
    EXPECT_EQ(image, before);
  }
  TempFolder folder;
  EXPECT_FALSE(VersionInfo::ReadFromFile(folder.Write("text", "not an executable").string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile((folder.path() / "missing").string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile(folder.path().string().c_str()));
  EXPECT_FALSE(VersionInfo::ReadFromFile(nullptr));
}

// Every cut and every changed byte of a small ELF with its note is read without reading
// outside the file; where the note survives, its block is the one written.
TEST(ElfVersionNoteTest, DamagedFilesAreReadSafely) {
  TempFolder folder;
  std::string image = BareElf64();
  const std::vector<uint8_t> block = SampleBlock();
  platform::Error error;
  ASSERT_TRUE(EmbedVersionInfo(block, &image, &error));
  for (const auto& cut : CutCopies(image)) {
    EXPECT_FALSE(VersionInfo::ReadFromFile(folder.Write("cut", cut.bytes).string().c_str())) << cut.what;
  }
  for (const auto& changed : FlippedCopies(image, {0xA5})) {
    std::optional<VersionInfo> read =
        VersionInfo::ReadFromFile(folder.Write("changed", changed.bytes).string().c_str());
    if (read) ExpectAnswersInside(*read);
  }
}

}  // namespace
