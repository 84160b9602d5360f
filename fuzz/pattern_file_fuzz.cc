// The pattern reader on arbitrary files and bodies: the version read, the record walk, the
// sections with their expansions, the name listing and the virus-name lookup.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "pattern_reader/pattern_file.h"
#include "pattern_reader/pattern_section.h"
#include "pattern_reader/virus_names.h"

namespace {

// The input as a section body on its own, without the file around it.
void ParseAsSection(const uint8_t* data, size_t size) {
  if (size == 0) return;
  ParsePatternSection({data, size}, [](std::span<const uint8_t> entry) {
    FUZZ_CHECK(entry.size() <= 0xFFFF);
    ForEachNameField(entry, [](std::span<const uint8_t, kVirusNameFieldSize>) { return true; });
    return true;
  });
  std::vector<uint8_t> out(kMaxExpandedBytes);
  uint16_t produced = 0;
  if (ExpandDeflate({data, size}, out, &produced)) FUZZ_CHECK(produced <= kMaxExpandedBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile file("vxr.ptn");
  file.Write({data, size});
  const char* path = file.path().c_str();

  uint16_t version = 0;
  const PatternVersionStatus version_status = ReadPatternFileVersion(path, &version);
  FUZZ_CHECK(version_status == PatternVersionStatus::kRead || version_status == PatternVersionStatus::kNoVersionRecord);

  std::vector<std::string> names;
  const PatternStatus list_status =
      ForEachVirusName(path, [&names](std::string_view name) { names.emplace_back(name); });
  // A body is never larger than the file, so memory never runs out on a file of fuzzer size.
  FUZZ_CHECK(list_status == PatternStatus::kDone || list_status == PatternStatus::kUnreadable);
  for (const std::string& name : names) FUZZ_CHECK(name.size() <= kVirusNameFieldSize);

  // The lookup walks what the listing walked: it finds the first listed name that a query
  // can hold, and fails the same way on a file the listing cannot read.
  const NameLookup missing = LookupVirusName(path, "NO SUCH NAME");
  if (list_status == PatternStatus::kUnreadable) {
    FUZZ_CHECK(missing == NameLookup::kUnreadable);
  } else {
    FUZZ_CHECK(missing == NameLookup::kFound || missing == NameLookup::kNotFound);
    for (const std::string& name : names) {
      if (name.size() > kMaxVirusNameChars) continue;
      FUZZ_CHECK(LookupVirusName(path, name.c_str()) == NameLookup::kFound);
      break;
    }
  }
  ParseAsSection(data, size);
  return 0;
}
