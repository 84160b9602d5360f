// Version information of an executable: a VS_VERSIONINFO structure (the binary layout of a
// Windows version resource), as the executable's own system carries it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"

/// The version numbers of the fixed part (VS_FIXEDFILEINFO); each 32-bit word holds two
/// 16-bit numbers, the more significant one in the high half.
struct FixedFileInfo {
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
};

/// One entry of "\\VarFileInfo\\Translation".
struct VersionTranslation {
  uint16_t language = 0;
  uint16_t code_page = 0;
};

/// A VS_VERSIONINFO block, queried the way VerQueryValue does. Every length inside the block
/// is checked against the block, so a damaged block answers "absent", never reads outside.
class VersionInfo {
 public:
  explicit VersionInfo(std::vector<uint8_t> block) : block_(std::move(block)) {}

  /// The block carried by the file at `path`; nullopt when the file cannot be read or carries
  /// no version block where the system keeps one (platform/<os>/version_info.cc says where).
  static std::optional<VersionInfo> ReadFromFile(const char* path);
  /// The same for an open binary stream of the file.
  static std::optional<VersionInfo> ReadFromStream(std::FILE* stream);

  /// The raw value of a sub-block path such as "\\", "\\VarFileInfo\\Translation" or
  /// "\\StringFileInfo\\040904B0\\SpecialBuild" (names match without regard to ASCII case);
  /// false when the path names nothing or a node on it is malformed.
  bool QueryValue(std::string_view sub_block, std::span<const uint8_t>* value) const;
  /// "\\": false when the block has no fixed part or its signature is wrong.
  bool QueryFixedFileInfo(FixedFileInfo* fixed) const;
  /// "\\VarFileInfo\\Translation": false when absent or empty.
  bool QueryTranslations(std::vector<VersionTranslation>* translations) const;
  /// A string of a StringFileInfo table, as UTF-8 up to its terminator.
  bool QueryString(std::string_view sub_block, std::string* text) const;

  const std::vector<uint8_t>& block() const { return block_; }

 private:
  std::vector<uint8_t> block_;
};

/// What a VS_VERSIONINFO block is built from.
struct VersionInfoContent {
  struct StringTable {
    VersionTranslation translation;
    std::vector<std::pair<std::string, std::string>> strings;  ///< name and UTF-8 value
  };
  std::optional<FixedFileInfo> fixed;  ///< no fixed part when absent
  std::vector<VersionTranslation> translations;
  std::vector<StringTable> string_tables;
};

/// The file version "A.B.C.D" (one to four dot-separated numbers of 0..65535; the missing ones
/// are 0) as the fixed part's file and product version; false when `text` is not such.
bool ParseFileVersion(std::string_view text, FixedFileInfo* fixed);

/// The VS_VERSIONINFO block holding `content`; fails with kInvalid when a length does not fit
/// the format's 16-bit fields or a text is not valid UTF-8.
platform::Result<std::vector<uint8_t>> BuildVersionInfoBlock(const VersionInfoContent& content);

/// Puts `block` into the executable image `image` as its version information, replacing what
/// is there: the version note of an ELF file (its segments untouched, so it still runs), the
/// version resource of a Windows one. False, with `image` unchanged and the reason in `error`,
/// when `image` is not an executable of the system that can take it.
bool EmbedVersionInfo(std::span<const uint8_t> block, std::string* image, platform::Error* error);
