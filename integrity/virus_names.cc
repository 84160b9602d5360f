#include "integrity/virus_names.h"

#include <cstring>

#include "integrity/pattern_section.h"
#include "platform/ascii.h"
#include "platform/little_endian.h"

namespace {

PatternFilterAnswer ReadNameRecordsOnly(const PatternRecordHeader& header) {
  return header.kind == kPatternNameRecordKind ? PatternFilterAnswer::kRead
                                               : PatternFilterAnswer::kSkip;
}

// Every name record's sections, every entry of them; sections given up add nothing.
PatternStatus ForEachNameEntry(const char* path, const PatternEntryHandler& on_entry) {
  return WalkPatternRecords(path, ReadNameRecordsOnly,
                            [&](const PatternRecordHeader&, std::span<const uint8_t> body) {
                              ParsePatternSection(body, on_entry);
                              return true;
                            });
}

}  // namespace

void ForEachNameField(std::span<const uint8_t> entry_data, const NameFieldHandler& on_name) {
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

std::string_view NameFieldText(std::span<const uint8_t, kVirusNameFieldSize> name) {
  const char* text = reinterpret_cast<const char*>(name.data());
  const void* terminator = std::memchr(text, '\0', name.size());
  const size_t length =
      terminator == nullptr ? name.size() : static_cast<size_t>(static_cast<const char*>(terminator) - text);
  return {text, length};
}

bool NameFieldMatches(std::span<const uint8_t, kVirusNameFieldSize> name, std::string_view query) {
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

NameLookup LookupVirusName(const char* path, const char* name) {
  if (path == nullptr || name == nullptr) return NameLookup::kBadArgument;
  const std::string_view query(name, strnlen(name, kVirusNameFieldSize));
  if (query.size() > kMaxVirusNameChars) return NameLookup::kBadArgument;
  bool found = false;
  // A match ends the scan of its entry only; the walk reads the rest of the file.
  const PatternStatus status = ForEachNameEntry(path, [&](std::span<const uint8_t> data) {
    ForEachNameField(data, [&](std::span<const uint8_t, kVirusNameFieldSize> field) {
      if (!NameFieldMatches(field, query)) return true;
      found = true;
      return false;
    });
    return true;
  });
  if (status != PatternStatus::kDone) return static_cast<NameLookup>(status);
  return found ? NameLookup::kFound : NameLookup::kNotFound;
}

PatternStatus ForEachVirusName(const char* path,
                               const std::function<void(std::string_view name)>& on_name) {
  if (!on_name) return PatternStatus::kBadArgument;
  return ForEachNameEntry(path, [&](std::span<const uint8_t> data) {
    ForEachNameField(data, [&](std::span<const uint8_t, kVirusNameFieldSize> field) {
      on_name(NameFieldText(field));
      return true;
    });
    return true;
  });
}
