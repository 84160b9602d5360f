#include "pattern_reader/virus_names.h"

#include <cstring>

#include "pattern_reader/pattern_section.h"

namespace {

PatternFilterAnswer ReadNameRecordsOnly(const PatternRecordHeader& header) {
  return header.kind == kPatternNameRecordKind ? PatternFilterAnswer::kRead : PatternFilterAnswer::kSkip;
}

// Every name record's sections, every entry of them; sections given up add nothing.
PatternStatus ForEachNameEntry(const char* path, const PatternEntryHandler& on_entry) {
  return WalkPatternRecords(path, ReadNameRecordsOnly, [&](const PatternRecordHeader&, std::span<const uint8_t> body) {
    ParsePatternSection(body, on_entry);
    return true;
  });
}

}  // namespace

std::string_view NameFieldText(std::span<const uint8_t, kVirusNameFieldSize> name) {
  const char* text = reinterpret_cast<const char*>(name.data());
  const void* terminator = std::memchr(text, '\0', name.size());
  const size_t length =
      terminator == nullptr ? name.size() : static_cast<size_t>(static_cast<const char*>(terminator) - text);
  return {text, length};
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

PatternStatus ForEachVirusName(const char* path, const std::function<void(std::string_view name)>& on_name) {
  if (!on_name) return PatternStatus::kBadArgument;
  return ForEachNameEntry(path, [&](std::span<const uint8_t> data) {
    ForEachNameField(data, [&](std::span<const uint8_t, kVirusNameFieldSize> field) {
      on_name(NameFieldText(field));
      return true;
    });
    return true;
  });
}
