#include "platform/profile.h"

#include <cstddef>

#include "platform/ascii.h"
#include "platform/file_open.h"

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\v\f";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kReadChunkSize = 64 * 1024;

std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Profile values are C texts: whatever follows an embedded NUL is not part of them.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Cuts text that arrives in pieces into lines at LF, CR LF and a lone CR. A line that spans
// pieces is gathered in `pending_`, so memory is bounded by the longest line.
class LineSplitter {
 public:
  template <typename OnLine>
  void Feed(std::string_view piece, OnLine&& on_line) {
    size_t start = 0;
    if (after_cr_ && !piece.empty()) {
      after_cr_ = false;
      if (piece.front() == '\n') start = 1;
    }
    for (;;) {
      size_t end = piece.find_first_of("\r\n", start);
      if (end == std::string_view::npos) {
        pending_.append(piece.substr(start));
        return;
      }
      Emit(piece.substr(start, end - start), on_line);
      if (piece[end] == '\r') {
        if (end + 1 == piece.size())
          after_cr_ = true;
        else if (piece[end + 1] == '\n')
          ++end;
      }
      start = end + 1;
    }
  }

  /// The last line, which has no line end.
  template <typename OnLine>
  void Finish(OnLine&& on_line) {
    if (!pending_.empty()) on_line(std::string_view(pending_));
    pending_.clear();
  }

 private:
  template <typename OnLine>
  void Emit(std::string_view tail, OnLine& on_line) {
    if (pending_.empty()) {
      on_line(tail);
      return;
    }
    pending_.append(tail);
    on_line(std::string_view(pending_));
    pending_.clear();
  }

  std::string pending_;
  bool after_cr_ = false;
};

bool IsWantedSection(std::string_view name, std::span<const ProfileKey> wanted) {
  for (const ProfileKey& key : wanted) {
    if (platform::AsciiEqualFold(key.section, name)) return true;
  }
  return false;
}

bool IsWantedKey(std::string_view section, std::string_view key, std::span<const ProfileKey> wanted) {
  for (const ProfileKey& candidate : wanted) {
    if (platform::AsciiEqualFold(candidate.section, section) && platform::AsciiEqualFold(candidate.key, key)) {
      return true;
    }
  }
  return false;
}

}  // namespace

// The profile rules applied by this code to the file's own text: Linux's profile reader, and
// the reference for the system's own reader on Windows.
ProfileFile ProfileFile::ReadWanted(const char* path, std::span<const ProfileKey> wanted) {
  ProfileFile profile;
  const platform::Result<ReadOnlyFile> file = ReadOnlyFile::Open(path);
  if (!file || !file->IsRegular()) return profile;
  auto add_line = [&](std::string_view line) { profile.AddLine(line, &wanted); };
  LineSplitter lines;
  std::string chunk(kReadChunkSize, '\0');
  for (uint64_t offset = 0;;) {
    int64_t n = file->ReadAt(offset, std::as_writable_bytes(std::span(chunk)));
    if (n <= 0) break;
    std::string_view piece(chunk.data(), static_cast<size_t>(n));
    if (offset == 0 && piece.starts_with(kUtf8ByteOrderMark)) {
      piece.remove_prefix(kUtf8ByteOrderMark.size());
    }
    lines.Feed(piece, add_line);
    offset += static_cast<uint64_t>(n);
  }
  lines.Finish(add_line);
  profile.current_ = nullptr;
  return profile;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  ProfileFile profile;
  auto add_line = [&](std::string_view line) { profile.AddLine(line, nullptr); };
  LineSplitter lines;
  lines.Feed(text, add_line);
  lines.Finish(add_line);
  profile.current_ = nullptr;
  return profile;
}

void ProfileFile::AddLine(std::string_view raw, const std::span<const ProfileKey>* wanted) {
  std::string_view line = Trim(raw);
  if (line.empty() || line.front() == ';') return;
  size_t close = line.find(']');
  if (line.front() == '[' && close != std::string_view::npos) {
    OpenSection(Trim(line.substr(1, close - 1)), wanted);
    return;
  }
  size_t equals = line.find('=');
  // Lines outside a kept section, and lines that are no "key=value", name nothing.
  if (current_ == nullptr || equals == std::string_view::npos) return;
  std::string_view key = Trim(line.substr(0, equals));
  if (key.empty()) return;
  if (wanted != nullptr) {
    // Only the first of each wanted key is kept: that is the one every lookup finds.
    if (!IsWantedKey(current_->name, key, *wanted)) return;
    for (const Entry& entry : current_->entries) {
      if (platform::AsciiEqualFold(entry.key, key)) return;
    }
  }
  std::string_view value = UpToNul(Unquote(Trim(line.substr(equals + 1))));
  current_->entries.push_back(Entry{std::string(key), std::string(value)});
}

void ProfileFile::OpenSection(std::string_view name, const std::span<const ProfileKey>* wanted) {
  // A later section of a name already seen is never looked at: the first one wins.
  if (FindSection(name) != nullptr || (wanted != nullptr && !IsWantedSection(name, *wanted))) {
    current_ = nullptr;
    return;
  }
  current_ = &sections_.emplace_back(Section{std::string(name), {}});
}

void ProfileFile::AddValue(std::string_view section, std::string_view key, std::string value) {
  Section* target = nullptr;
  for (Section& candidate : sections_) {
    if (platform::AsciiEqualFold(candidate.name, section)) {
      target = &candidate;
      break;
    }
  }
  if (target == nullptr) target = &sections_.emplace_back(Section{std::string(section), {}});
  target->entries.push_back(Entry{std::string(key), std::move(value)});
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const {
  for (const Section& section : sections_) {
    if (platform::AsciiEqualFold(section.name, name)) return &section;
  }
  return nullptr;
}

const std::string* ProfileFile::Find(std::string_view section, std::string_view key) const {
  const Section* match = FindSection(section);
  if (match == nullptr) return nullptr;
  for (const Entry& entry : match->entries) {
    if (platform::AsciiEqualFold(entry.key, key)) return &entry.value;
  }
  return nullptr;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view default_value,
                                   size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const std::string* found = Find(section, key);
  std::string_view value = found != nullptr ? std::string_view(*found) : default_value;
  return std::string(value.substr(0, buffer_size - 1));
}
