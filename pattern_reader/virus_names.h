// The name level of the pattern files: the virus-name sub-entries of the name entries in the
// records of kind 0x1ABDE21A, listed or searched for one name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "pattern_reader/pattern_file.h"
#include "platform/ascii.h"
#include "platform/little_endian.h"

/// A name field holds 18 bytes, NUL-terminated when shorter; a query has at most 17 characters.
inline constexpr size_t kVirusNameFieldSize = 18;
inline constexpr size_t kMaxVirusNameChars = kVirusNameFieldSize - 1;
/// Name entry data: 20 bytes the name search does not read, N (16-bit), then N bytes of
/// sub-entries of 22 + 4 x K bytes each: tag 0xF3, kind 0xD3, the name field, K (16-bit).
inline constexpr size_t kNameListOffset = 22;
inline constexpr size_t kNameSubEntryHeaderSize = 22;
inline constexpr uint8_t kNameSubEntryTag = 0xF3;
inline constexpr uint8_t kNameSubEntryKind = 0xD3;

/// Hands the name fields of one name entry's data to `on_name` (called with a
/// std::span<const uint8_t, 18>, answering false to end the scan of this entry), in order. The
/// scan ends at the first sub-entry whose tag or kind is not a name's, or that does not lie
/// whole inside the list; an entry whose list (22 + N bytes) runs past its data holds no names.
/// A template, so that the search over every name of a file costs no call per name.
template <typename OnName>
void ForEachNameField(std::span<const uint8_t> entry_data, OnName&& on_name) {
  if (entry_data.size() < kNameListOffset) return;
  const size_t list_size = LoadLittleEndian16(&entry_data[20]);
  if (list_size > entry_data.size() - kNameListOffset) return;
  const std::span<const uint8_t> list = entry_data.subspan(kNameListOffset, list_size);
  for (size_t at = 0; list.size() - at >= kNameSubEntryHeaderSize;) {
    const uint8_t* sub_entry = list.data() + at;
    if (sub_entry[0] != kNameSubEntryTag || sub_entry[1] != kNameSubEntryKind) return;
    const size_t size = kNameSubEntryHeaderSize + 4 * size_t{LoadLittleEndian16(sub_entry + 20)};
    if (size > list.size() - at) return;
    if (!on_name(std::span<const uint8_t, kVirusNameFieldSize>(sub_entry + 2, kVirusNameFieldSize))) {
      return;
    }
    at += size;
  }
}

/// The text of a name field: up to its terminator, at most 18 characters.
std::string_view NameFieldText(std::span<const uint8_t, kVirusNameFieldSize> name);

/// Whether a name field matches `query` (at most 17 characters): equal after folding ASCII
/// letters up to a terminator both share. A field of 18 characters matches nothing.
inline bool NameFieldMatches(std::span<const uint8_t, kVirusNameFieldSize> name, std::string_view query) {
  if (query.size() > kMaxVirusNameChars) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char wanted = i < query.size() ? query[i] : '\0';
    if (platform::AsciiLower(wanted) != platform::AsciiLower(static_cast<char>(name[i]))) {
      return false;
    }
    if (wanted == '\0') return true;
  }
  return false;
}

/// Lookup verdicts.
enum class NameLookup : int {
  kFound = 1,
  kNotFound = 0,
  kBadArgument = -1,  ///< a null path or name, or a name of 18 characters or more
  kUnreadable = -2,   ///< the file cannot be opened or read
  kOutOfMemory = -3,  ///< a body buffer could not be allocated
};

/// Whether `name` occurs among the name sub-entries of the pattern file at `path`. Reads the
/// whole file once, one body and one expansion at a time; sections and entries whose lengths
/// do not hold are given up and the search goes on.
NameLookup LookupVirusName(const char* path, const char* name);

/// Hands every virus name of the pattern file at `path` to `on_name`, in file order (the same
/// walk as LookupVirusName, without stopping at a match). The status of the record walk.
PatternStatus ForEachVirusName(const char* path, const std::function<void(std::string_view name)>& on_name);
