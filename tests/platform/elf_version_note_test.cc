// The version note's format in ELF images, on every system: written and read back in every
// kind of ELF, replaced in place, refused for what is no ELF, and read safely when damaged.
#include "platform/elf_version_note.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/version_info.h"
#include "support/damaged_copies.h"

namespace {

VersionInfoContent SampleContent() {
  VersionInfoContent content;
  content.fixed = FixedFileInfo{0x00030005, 0x00000001, 0x00030006, 0x00000002};
  content.translations = {{0x0409, 0x04B0}};
  content.string_tables = {{{0x0409, 0x04B0}, {{"SpecialBuild", "check 😀"}, {"Empty", ""}}}};
  return content;
}

std::vector<uint8_t> BlockOf(const VersionInfoContent& content) {
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  EXPECT_TRUE(block) << block.error().text;
  return block ? *block : std::vector<uint8_t>{};
}

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

// Writes `block` into `image` and reads it back from the result.
std::vector<uint8_t> WriteAndRead(std::string* image, const std::vector<uint8_t>& block) {
  platform::Error error;
  EXPECT_TRUE(WriteElfVersionNote(block, image, &error)) << error.text;
  std::vector<uint8_t> read;
  EXPECT_TRUE(ReadElfVersionNote(*image, &read));
  return read;
}

TEST(ElfVersionNoteTest, WrittenBlockIsReadBackFromEveryKindOfElf) {
  const std::vector<uint8_t> block = BlockOf(SampleContent());
  for (const std::string& elf : {BareElf64(), BareElf32BigEndian()}) {
    SCOPED_TRACE(elf.size());
    std::string image = elf;
    EXPECT_EQ(WriteAndRead(&image, block), block);
    EXPECT_EQ(image.compare(0, 16, elf, 0, 16), 0) << "identification changed";
  }
}

TEST(ElfVersionNoteTest, WritingAgainReplacesTheNoteInPlaceWhereItFits) {
  std::string image = BareElf64();
  WriteAndRead(&image, BlockOf(SampleContent()));
  const size_t size_after_first = image.size();

  VersionInfoContent smaller = SampleContent();
  smaller.string_tables[0].strings.pop_back();
  const std::vector<uint8_t> second = BlockOf(smaller);
  EXPECT_EQ(WriteAndRead(&image, second), second);
  EXPECT_EQ(image.size(), size_after_first) << "a note that fits is written in place";

  VersionInfoContent larger = SampleContent();
  larger.string_tables[0].strings.emplace_back("Comments", std::string(2000, 'c'));
  const std::vector<uint8_t> third = BlockOf(larger);
  EXPECT_EQ(WriteAndRead(&image, third), third);
}

TEST(ElfVersionNoteTest, WhatIsNoElfIsRefusedUnchanged) {
  for (std::string image :
       {std::string(), std::string("MZ\x90\0", 4), std::string(100, 'x'), BareElf64().substr(0, 40)}) {
    SCOPED_TRACE(image.size());
    const std::string before = image;
    platform::Error error;
    EXPECT_FALSE(WriteElfVersionNote(BlockOf(SampleContent()), &image, &error));
    EXPECT_EQ(platform::ErrorKind::kInvalid, error.kind);
    EXPECT_EQ(image, before);
    std::vector<uint8_t> read;
    EXPECT_FALSE(ReadElfVersionNote(image, &read));
  }
  std::vector<uint8_t> read;
  EXPECT_FALSE(ReadElfVersionNote(BareElf64(), &read)) << "an ELF without the note";
}

// Every cut and every changed byte of a small ELF with its note is read without reading
// outside the image; where a note is still found, its block is bytes of the image.
TEST(ElfVersionNoteTest, DamagedImagesAreReadSafely) {
  std::string image = BareElf64();
  WriteAndRead(&image, BlockOf(SampleContent()));
  for (const auto& cut : CutCopies(image)) {
    std::vector<uint8_t> read;
    EXPECT_FALSE(ReadElfVersionNote(cut.bytes, &read)) << cut.what;
  }
  for (const auto& changed : FlippedCopies(image, {0xA5})) {
    std::vector<uint8_t> read;
    if (!ReadElfVersionNote(changed.bytes, &read)) continue;
    EXPECT_NE(changed.bytes.find(std::string(read.begin(), read.end())), std::string::npos) << changed.what;
  }
}

}  // namespace
