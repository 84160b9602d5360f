// Reading INI-style profile files with the rules of the Windows profile-string reader.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The parsed text of one profile file: "[section]" lines, "key=value" lines, ";" comments.
class ProfileFile {
 public:
  /// Reads and parses `path`. A missing or unreadable file, or one that is not a regular file,
  /// gives an empty profile, in which every lookup returns its default.
  static ProfileFile Load(const char* path);
  /// Parses profile text; LF and CR LF line ends; a leading UTF-8 byte-order mark is skipped.
  static ProfileFile Parse(std::string_view text);

  /// The value of `key` in `section`, or `default_value` when either is missing, cut to
  /// `buffer_size` - 1 characters as a buffer of that size would hold it. Section and key
  /// names match without regard to ASCII case; the first matching section and, within it,
  /// the first matching key win. A value written in matching double or single quotes loses
  /// them; white space around names and values is dropped.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view default_value, size_t buffer_size) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  const Section* FindSection(std::string_view name) const;

  std::vector<Section> sections_;
};
