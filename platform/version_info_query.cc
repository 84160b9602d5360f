#include "platform/version_info.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/little_endian.h"
#include "platform/utf16.h"

// A node of the block: wLength, wValueLength, wType, a NUL-terminated UTF-16 key, padding to
// 32 bits, the value (wValueLength bytes, or UTF-16 units when wType is 1), padding, and the
// children, each starting on a 32-bit boundary of the block.
namespace {

constexpr size_t kNodeHeaderBytes = 6;
constexpr size_t kFixedInfoBytes = 52;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::string_view kRootKey = "VS_VERSION_INFO";

struct Node {
  size_t end = 0;
  std::span<const uint8_t> key;  // UTF-16 units without the terminator
  std::span<const uint8_t> value;
  size_t children = 0;
};

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

uint16_t Read16(std::span<const uint8_t> bytes, size_t at) { return LoadLittleEndian16(bytes.subspan(at, 2).data()); }

uint32_t Read32(std::span<const uint8_t> bytes, size_t at) { return LoadLittleEndian32(bytes.subspan(at, 4).data()); }

// The node at `begin`, which must end by `limit`. A value that claims more than its node
// holds is cut at the node's end: some resource compilers count string values in bytes.
bool ParseNode(std::span<const uint8_t> block, size_t begin, size_t limit, Node* node) {
  if (begin > limit || limit - begin < kNodeHeaderBytes) return false;
  size_t length = Read16(block, begin);
  if (length < kNodeHeaderBytes || length > limit - begin) return false;
  node->end = begin + length;
  size_t key_begin = begin + kNodeHeaderBytes;
  size_t key_end = key_begin;
  for (;; key_end += 2) {
    if (node->end - key_end < 2) return false;
    if (Read16(block, key_end) == 0) break;
  }
  node->key = block.subspan(key_begin, key_end - key_begin);
  size_t value_begin = std::min(Align4(key_end + 2), node->end);
  size_t value_length = Read16(block, begin + 2);
  bool is_text = Read16(block, begin + 4) == 1;
  size_t value_bytes = std::min(is_text ? 2 * value_length : value_length, node->end - value_begin);
  node->value = block.subspan(value_begin, value_bytes);
  node->children = std::min(Align4(value_begin + value_bytes), node->end);
  return true;
}

bool KeyMatches(std::span<const uint8_t> key, std::string_view name) {
  if (key.size() != 2 * name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    uint32_t unit = Read16(key, 2 * i);
    auto byte = static_cast<unsigned char>(name[i]);
    if (unit > 0x7F || byte > 0x7F) {
      if (unit != byte) return false;
    } else if (platform::AsciiLower(static_cast<char>(unit)) != platform::AsciiLower(static_cast<char>(byte))) {
      return false;
    }
  }
  return true;
}

bool FindChild(std::span<const uint8_t> block, const Node& parent, std::string_view name, Node* child) {
  // Every node is at least a header long, so the walk always advances.
  for (size_t at = parent.children; at < parent.end; at = Align4(child->end)) {
    if (!ParseNode(block, at, parent.end, child)) return false;
    if (KeyMatches(child->key, name)) return true;
  }
  return false;
}

}  // namespace

bool VersionInfo::QueryValue(std::string_view sub_block, std::span<const uint8_t>* value) const {
  std::span<const uint8_t> block(block_);
  Node node;
  if (!ParseNode(block, 0, block.size(), &node) || !KeyMatches(node.key, kRootKey)) return false;
  while (!sub_block.empty()) {
    size_t separator = sub_block.find('\\');
    std::string_view name = sub_block.substr(0, separator);
    sub_block = separator == std::string_view::npos ? "" : sub_block.substr(separator + 1);
    if (name.empty()) continue;
    Node child;
    if (!FindChild(block, node, name, &child)) return false;
    node = child;
  }
  *value = node.value;
  return true;
}

bool VersionInfo::QueryFixedFileInfo(FixedFileInfo* fixed) const {
  std::span<const uint8_t> value;
  if (!QueryValue("\\", &value) || value.size() < kFixedInfoBytes) return false;
  if (Read32(value, 0) != kFixedInfoSignature) return false;
  fixed->file_version_ms = Read32(value, 8);
  fixed->file_version_ls = Read32(value, 12);
  fixed->product_version_ms = Read32(value, 16);
  fixed->product_version_ls = Read32(value, 20);
  return true;
}

bool VersionInfo::QueryTranslations(std::vector<VersionTranslation>* translations) const {
  std::span<const uint8_t> value;
  if (!QueryValue("\\VarFileInfo\\Translation", &value) || value.size() < 4) return false;
  translations->clear();
  for (size_t at = 0; at + 4 <= value.size(); at += 4) {
    translations->push_back({Read16(value, at), Read16(value, at + 2)});
  }
  return true;
}

bool VersionInfo::QueryString(std::string_view sub_block, std::string* text) const {
  std::span<const uint8_t> value;
  if (!QueryValue(sub_block, &value)) return false;
  *text = Utf8FromUtf16(value);
  return true;
}
