#include "tools/vxrtool/pattern_writer.h"

#include <zlib.h>

#include <algorithm>
#include <span>

#include "pattern_reader/pattern_file.h"
#include "pattern_reader/pattern_section.h"
#include "pattern_reader/virus_names.h"
#include "platform/little_endian.h"

namespace {

using NameSpan = std::span<const std::string>;

// Sections of the stored modes: the region's 16-bit size less the section header.
constexpr size_t kMaxStoredRegionBytes = 0xFFFF - kPatternSectionHeaderSize;
constexpr uint32_t kOtherRecordKinds[] = {0x1ABDE51A, 0x1ABDE31A, 0x1ABDE91A, 0x1ABDD51A};

void Append(std::string* out, uint64_t value, size_t width) {
  const size_t at = out->size();
  out->resize(at + width);
  StoreLittleEndian(out->data() + at, value, width);
}

// 20 bytes the name search does not read, the list size, then one 22-byte sub-entry per name.
std::string NameEntryData(NameSpan names) {
  std::string data(20, '\0');
  Append(&data, names.size() * kNameSubEntryHeaderSize, 2);
  for (const std::string& name : names) {
    data += static_cast<char>(kNameSubEntryTag);
    data += static_cast<char>(kNameSubEntryKind);
    std::string field = name;
    field.resize(kVirusNameFieldSize, '\0');
    data += field;
    Append(&data, 0, 2);  // no items follow the name
  }
  return data;
}

std::string RawDeflate(const std::string& plain) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(plain.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  stream.avail_in = static_cast<uInt>(plain.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// An entry header of the shortest length, then its stored data.
std::string Entry(const std::string& stored, size_t plain_size) {
  std::string entry;
  Append(&entry, kPatternEntryHeaderMinSize, 2);
  Append(&entry, 0, 4);
  Append(&entry, plain_size, 2);
  Append(&entry, stored.size(), 2);
  return entry + stored;
}

std::string Record(uint32_t kind, uint16_t version, std::string body) {
  std::string record;
  Append(&record, kind, 4);
  Append(&record, body.size(), 2);  // A: the body's length...
  Append(&record, 0, 4);
  Append(&record, version, 2);
  Append(&record, 1, 2);                                                      // ...times B = 1
  UnmaskPatternBody({reinterpret_cast<uint8_t*>(body.data()), body.size()});  // the same XOR
  return record + body;
}

std::string SectionHeader(PatternWriteMode mode, size_t plain_region_size) {
  std::string header(10, '\0');
  header += static_cast<char>(mode);
  header += '\0';
  Append(&header, plain_region_size, 2);
  return header;
}

// The most names one entry can hold: its plain data within one expansion.
constexpr size_t kMaxNamesPerEntry =
    (kMaxExpandedBytes - kPatternEntryHeaderMinSize - kNameListOffset) / kNameSubEntryHeaderSize;

// Takes the longest front of `*names` for which `make` gives a non-empty part (halving the
// count until it does) and returns that part.
template <typename Make>
std::string TakeFront(NameSpan* names, Make make) {
  size_t count = std::min(names->size(), kMaxNamesPerEntry);
  std::string part;
  // One name always fits, so the halving ends.
  while ((part = make(names->first(count))).empty() && count > 1) count /= 2;
  *names = names->subspan(count);
  return part;
}

// Mode 0x81: one entry per section, the whole region compressed; empty when over a limit.
std::string WholeSection(NameSpan names) {
  const std::string plain = NameEntryData(names);
  const std::string region = Entry(plain, plain.size());
  if (region.size() > kMaxExpandedBytes) return {};
  const std::string stored = RawDeflate(region);
  if (stored.size() > kMaxCompressedBytes) return {};
  return SectionHeader(PatternWriteMode::kWhole, region.size()) + stored;
}

// Mode 0x01 and plain: one entry; empty when over a limit.
std::string StoredEntry(NameSpan names, PatternWriteMode mode) {
  const std::string plain = NameEntryData(names);
  if (plain.size() > kMaxExpandedBytes) return {};
  if (mode == PatternWriteMode::kPlain) return Entry(plain, plain.size());
  const std::string stored = RawDeflate(plain);
  return stored.size() > kMaxCompressedBytes ? std::string() : Entry(stored, plain.size());
}

void AppendStoredSections(NameSpan names, PatternWriteMode mode, uint16_t version, std::string* file) {
  std::string region;
  // An empty list still gets one section, so that the file carries its version.
  do {
    std::string entry = TakeFront(&names, [mode](NameSpan front) { return StoredEntry(front, mode); });
    if (region.size() + entry.size() > kMaxStoredRegionBytes) {
      *file += Record(kPatternNameRecordKind, version, SectionHeader(mode, region.size()) + region);
      region.clear();
    }
    region += entry;
  } while (!names.empty());
  *file += Record(kPatternNameRecordKind, version, SectionHeader(mode, region.size()) + region);
}

}  // namespace

std::string BuildPatternRecords(const std::vector<std::string>& names, const PatternWriteOptions& options) {
  std::string file;
  for (int i = 0; i < options.records_before; ++i) {
    const size_t n = static_cast<size_t>(i);
    const uint32_t kind = kOtherRecordKinds[n % std::size(kOtherRecordKinds)];
    file += Record(kind, 0, std::string(16 + 8 * (n % 5), static_cast<char>('a' + n % 26)));
  }
  NameSpan left = names;
  if (options.mode != PatternWriteMode::kWhole) {
    AppendStoredSections(left, options.mode, options.version, &file);
    return file;
  }
  do {
    file += Record(kPatternNameRecordKind, options.version, TakeFront(&left, WholeSection));
  } while (!left.empty());
  return file;
}

std::string EmptySignatureTrailer() { return std::string(4, '\0'); }
