#include <charconv>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/little_endian.h"
#include "platform/utf16.h"
#include "platform/version_info.h"

namespace {

constexpr uint16_t kBinaryValue = 0;
constexpr uint16_t kTextValue = 1;
constexpr size_t kMaxNodeBytes = 0xFFFF;

void Put16(std::string* bytes, size_t at, size_t value) { StoreLittleEndian(bytes->data() + at, value, 2); }

void Append32(uint32_t value, std::string* bytes) {
  bytes->resize(bytes->size() + 4);
  StoreLittleEndian(bytes->data() + bytes->size() - 4, value, 4);
}

void PadTo32Bits(std::string* bytes) { bytes->resize((bytes->size() + 3) & ~size_t{3}, '\0'); }

// One node: header, key, value and children, each child on a 32-bit boundary of the node,
// which keeps them aligned in the block since every node starts on such a boundary.
bool EncodeNode(std::string_view key, uint16_t type, std::string_view value, size_t value_length,
                const std::vector<std::string>& children, std::string* node, std::string* error) {
  std::string bytes(6, '\0');
  if (!AppendUtf16FromUtf8(key, &bytes)) {
    *error = "not valid UTF-8: " + std::string(key);
    return false;
  }
  bytes.append(2, '\0');
  PadTo32Bits(&bytes);
  bytes.append(value);
  for (const std::string& child : children) {
    PadTo32Bits(&bytes);
    bytes.append(child);
  }
  if (bytes.size() > kMaxNodeBytes || value_length > kMaxNodeBytes) {
    *error = "version information does not fit 65535 bytes";
    return false;
  }
  Put16(&bytes, 0, bytes.size());
  Put16(&bytes, 2, value_length);
  Put16(&bytes, 4, type);
  *node = std::move(bytes);
  return true;
}

bool EncodeString(const std::string& name, const std::string& text, std::string* node, std::string* error) {
  std::string value;
  if (!AppendUtf16FromUtf8(text, &value)) {
    *error = "not valid UTF-8: " + text;
    return false;
  }
  value.append(2, '\0');
  return EncodeNode(name, kTextValue, value, value.size() / 2, {}, node, error);
}

std::string TranslationKey(VersionTranslation translation) {
  char key[16];
  std::snprintf(key, sizeof key, "%04X%04X", translation.language, translation.code_page);
  return key;
}

bool EncodeStringFileInfo(const VersionInfoContent& content, std::string* node, std::string* error) {
  std::vector<std::string> tables;
  for (const auto& table : content.string_tables) {
    std::vector<std::string> strings;
    for (const auto& [name, text] : table.strings) {
      if (!EncodeString(name, text, &strings.emplace_back(), error)) return false;
    }
    if (!EncodeNode(TranslationKey(table.translation), kTextValue, {}, 0, strings, &tables.emplace_back(), error)) {
      return false;
    }
  }
  return EncodeNode("StringFileInfo", kTextValue, {}, 0, tables, node, error);
}

bool EncodeVarFileInfo(const VersionInfoContent& content, std::string* node, std::string* error) {
  std::string value;
  for (VersionTranslation translation : content.translations) {
    Append32(translation.language | static_cast<uint32_t>(translation.code_page) << 16, &value);
  }
  std::string translation_node;
  return EncodeNode("Translation", kBinaryValue, value, value.size(), {}, &translation_node, error) &&
         EncodeNode("VarFileInfo", kTextValue, {}, 0, {translation_node}, node, error);
}

std::string EncodeFixedFileInfo(const FixedFileInfo& fixed) {
  std::string value;
  for (uint32_t word : {0xFEEF04BDu, 0x00010000u, fixed.file_version_ms, fixed.file_version_ls,
                        fixed.product_version_ms, fixed.product_version_ls, 0x3Fu /* flags mask */, 0u /* flags */,
                        0x00040004u /* VOS_NT_WINDOWS32 */, 1u /* VFT_APP */, 0u, 0u, 0u}) {
    Append32(word, &value);
  }
  return value;
}

bool EncodeVersionInfo(const VersionInfoContent& content, std::vector<uint8_t>* block, std::string* error) {
  std::vector<std::string> children;
  if (!content.string_tables.empty() && !EncodeStringFileInfo(content, &children.emplace_back(), error)) {
    return false;
  }
  if (!content.translations.empty() && !EncodeVarFileInfo(content, &children.emplace_back(), error)) {
    return false;
  }
  std::string fixed = content.fixed ? EncodeFixedFileInfo(*content.fixed) : std::string();
  std::string root;
  if (!EncodeNode("VS_VERSION_INFO", kBinaryValue, fixed, fixed.size(), children, &root, error)) {
    return false;
  }
  block->assign(root.begin(), root.end());
  return true;
}

}  // namespace

platform::Result<std::vector<uint8_t>> BuildVersionInfoBlock(const VersionInfoContent& content) {
  std::vector<uint8_t> block;
  std::string reason;
  if (!EncodeVersionInfo(content, &block, &reason)) {
    return platform::Refusal(platform::ErrorKind::kInvalid, std::move(reason));
  }
  return block;
}

bool ParseFileVersion(std::string_view text, FixedFileInfo* fixed) {
  uint32_t parts[4] = {};
  size_t count = 0;
  for (;;) {
    if (count == 4) return false;
    size_t dot = text.find('.');
    std::string_view part = text.substr(0, dot);
    auto [end, status] = std::from_chars(part.data(), part.data() + part.size(), parts[count]);
    if (part.empty() || status != std::errc() || end != part.data() + part.size() || parts[count] > 0xFFFF) {
      return false;
    }
    ++count;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  fixed->file_version_ms = parts[0] << 16 | parts[1];
  fixed->file_version_ls = parts[2] << 16 | parts[3];
  fixed->product_version_ms = fixed->file_version_ms;
  fixed->product_version_ls = fixed->file_version_ls;
  return true;
}
