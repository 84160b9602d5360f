// The name level of the pattern files: the virus-name sub-entries of the name entries in the
// records of kind 0x1ABDE21A, listed or searched for one name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "integrity/pattern_file.h"

/// A name field holds 18 bytes, NUL-terminated when shorter; a query has at most 17 characters.
inline constexpr size_t kVirusNameFieldSize = 18;
inline constexpr size_t kMaxVirusNameChars = kVirusNameFieldSize - 1;
/// Name entry data: 20 bytes the name search does not read, N (16-bit), then N bytes of
/// sub-entries of 22 + 4 x K bytes each: tag 0xF3, kind 0xD3, the name field, K (16-bit).
inline constexpr size_t kNameListOffset = 22;
inline constexpr size_t kNameSubEntryHeaderSize = 22;
inline constexpr uint8_t kNameSubEntryTag = 0xF3;
inline constexpr uint8_t kNameSubEntryKind = 0xD3;

/// Gets one 18-byte name field; false ends the scan of this entry.
using NameFieldHandler = std::function<bool(std::span<const uint8_t, kVirusNameFieldSize> name)>;

/// Hands the name fields of one name entry's data to `on_name`, in order. The scan ends at the
/// first sub-entry whose tag or kind is not a name's, or that does not lie whole inside the
/// list; an entry whose list (22 + N bytes) runs past its data holds no names.
void ForEachNameField(std::span<const uint8_t> entry_data, const NameFieldHandler& on_name);

/// The text of a name field: up to its terminator, at most 18 characters.
std::string_view NameFieldText(std::span<const uint8_t, kVirusNameFieldSize> name);

/// Whether a name field matches `query` (at most 17 characters): equal after folding ASCII
/// letters up to a terminator both share. A field of 18 characters matches nothing.
bool NameFieldMatches(std::span<const uint8_t, kVirusNameFieldSize> name, std::string_view query);

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
PatternStatus ForEachVirusName(const char* path,
                               const std::function<void(std::string_view name)>& on_name);
