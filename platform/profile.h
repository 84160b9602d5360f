// Reading INI-style profile files with the rules of the Windows profile-string reader.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A key that Load keeps: its section and key names, matched without regard to ASCII case.
struct ProfileKey {
  std::string_view section;
  std::string_view key;
};

/// The parsed text of one profile file: "[section]" lines, "key=value" lines, ";" comments.
/// LF, CR LF and a lone CR end a line; a line that opens a section without closing it ("[a"
/// with no "]") is no section header, so the keys after it stay in the section before it.
class ProfileFile {
 public:
  /// Reads `path` one line at a time and keeps only the values of the `wanted` keys, so its
  /// memory is bounded by the longest line and those values, whatever the file's size. A
  /// missing or unreadable file, or one that is not a regular file, gives an empty profile,
  /// in which every lookup returns its default.
  static ProfileFile Load(const char* path, std::span<const ProfileKey> wanted);
  /// Parses profile text, keeping every key; a leading UTF-8 byte-order mark is skipped.
  static ProfileFile Parse(std::string_view text);

  /// The value of `key` in `section`, or `default_value` when either is missing, cut to
  /// `buffer_size` - 1 characters as a buffer of that size would hold it. Section and key
  /// names match without regard to ASCII case; the first matching section and, within it,
  /// the first matching key win. A value written in matching double or single quotes loses
  /// them; white space around names and values is dropped.
  std::string GetString(std::string_view section, std::string_view key, std::string_view default_value,
                        size_t buffer_size) const;

  /// The whole value that GetString would cut, or null when the section or key is missing:
  /// lets a caller refuse a value that does not fit its buffer instead of cutting it.
  const std::string* Find(std::string_view section, std::string_view key) const;

 private:
  /// Load's work where this code reads the file itself (Linux).
  static ProfileFile ReadWanted(const char* path, std::span<const ProfileKey> wanted);
  /// Adds one key's value, as the system's own reader gave it (Windows).
  void AddValue(std::string_view section, std::string_view key, std::string value);

  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  /// Takes one line (without its line end). With `wanted`, only the wanted keys are kept.
  void AddLine(std::string_view line, const std::span<const ProfileKey>* wanted);
  void OpenSection(std::string_view name, const std::span<const ProfileKey>* wanted);
  const Section* FindSection(std::string_view name) const;

  std::vector<Section> sections_;
  // The section that key lines belong to now; null outside any section, and in a section
  // whose keys are not kept (a later one of the same name, or one nobody asked for).
  Section* current_ = nullptr;
};
