#include "platform/profile.h"

#include <cstddef>

#include "platform/ascii.h"
#include "platform/file_open.h"

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\v\f";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Profile values are C texts: whatever follows an embedded NUL is not part of them.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string ReadWholeFile(const char* path) {
  FileOpenError error;
  ReadOnlyFile file = ReadOnlyFile::Open(path, &error);
  if (!file.is_open() || !file.IsRegular()) return {};
  std::string text;
  std::byte chunk[4096];
  for (uint64_t offset = 0;;) {
    int64_t n = file.ReadAt(offset, chunk);
    if (n <= 0) break;
    text.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return text;
}

}  // namespace

ProfileFile ProfileFile::Load(const char* path) { return Parse(ReadWholeFile(path)); }

ProfileFile ProfileFile::Parse(std::string_view text) {
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  ProfileFile profile;
  Section* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1, line.find(']') - 1);
      current = &profile.sections_.emplace_back(Section{std::string(Trim(name)), {}});
      continue;
    }
    size_t equals = line.find('=');
    // Lines outside any section, and lines that are no "key=value", name nothing.
    if (current == nullptr || equals == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    std::string_view value = UpToNul(Unquote(Trim(line.substr(equals + 1))));
    current->entries.push_back(Entry{std::string(key), std::string(value)});
  }
  return profile;
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const {
  for (const Section& section : sections_) {
    if (platform::AsciiEqualFold(section.name, name)) return &section;
  }
  return nullptr;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view default_value, size_t buffer_size) const {
  if (buffer_size == 0) return {};
  std::string_view found = default_value;
  if (const Section* match = FindSection(section)) {
    for (const Entry& entry : match->entries) {
      if (platform::AsciiEqualFold(entry.key, key)) {
        found = entry.value;
        break;
      }
    }
  }
  return std::string(found.substr(0, buffer_size - 1));
}
