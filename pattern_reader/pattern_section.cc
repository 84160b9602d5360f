#include "pattern_reader/pattern_section.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "platform/little_endian.h"

namespace {

// An expansion's buffer: left uninitialised, since the expansion fills it before any read.
struct Expansion {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;

  std::span<const uint8_t> view() const { return {bytes.get(), size}; }
};

// Expands `stored` into `*plain`, which must come out exactly `size` bytes long; false also when
// the buffer cannot be allocated.
bool ExpandExactly(std::span<const uint8_t> stored, size_t size, Expansion* plain) {
  if (size > kMaxExpandedBytes) return false;
  try {
    plain->bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  plain->size = size;
  uint16_t produced = 0;
  return ExpandDeflate(stored, {plain->bytes.get(), size}, &produced) && produced == size;
}

struct EntryHeader {
  uint16_t header_length;  // H
  uint16_t plain_length;   // U
  uint16_t stored_length;  // C
};

EntryHeader DecodeEntryHeader(const uint8_t* bytes) {
  return {LoadLittleEndian16(bytes), LoadLittleEndian16(bytes + 6), LoadLittleEndian16(bytes + 8)};
}

void WalkEntries(std::span<const uint8_t> region, bool compressed_entries, const PatternEntryHandler& on_entry) {
  Expansion expanded;
  size_t start = 0;
  while (region.size() - start >= kPatternEntryHeaderMinSize) {
    const EntryHeader entry = DecodeEntryHeader(region.data() + start);
    // H below 10 would not advance past its own header.
    if (entry.header_length < kPatternEntryHeaderMinSize) return;
    const size_t data_start = start + entry.header_length;
    if (data_start > region.size() || entry.stored_length > region.size() - data_start) return;
    std::span<const uint8_t> data = region.subspan(data_start, entry.stored_length);
    if (compressed_entries) {
      if (!ExpandExactly(data, entry.plain_length, &expanded)) return;
      data = expanded.view();
    }
    if (!on_entry(data)) return;
    start = data_start + entry.stored_length;
  }
}

}  // namespace

bool ExpandDeflate(std::span<const uint8_t> input, std::span<uint8_t> output, uint16_t* produced) {
  if (input.size() > kMaxCompressedBytes) return false;
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  // zlib wants a pointer even for no room.
  uint8_t no_room = 0;
  const size_t room = std::min(output.size(), kMaxExpandedBytes);
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = room == 0 ? &no_room : output.data();
  stream.avail_out = static_cast<uInt>(room);
  const int outcome = inflate(&stream, Z_FINISH);
  const size_t count = room - stream.avail_out;
  inflateEnd(&stream);
  if (outcome != Z_STREAM_END) return false;
  *produced = static_cast<uint16_t>(count);
  return true;
}

PatternStatus ParsePatternSection(std::span<const uint8_t> body, const PatternEntryHandler& on_entry) {
  if (body.empty() || !on_entry) return PatternStatus::kBadArgument;
  if (body.size() < kPatternSectionHeaderSize) return PatternStatus::kDone;
  const uint8_t mode = body[10];
  const uint16_t region_size = LoadLittleEndian16(&body[12]);
  const std::span<const uint8_t> stored = body.subspan(kPatternSectionHeaderSize);
  if (mode == kSectionCompressedWhole) {
    Expansion region;
    if (!ExpandExactly(stored, region_size, &region)) return PatternStatus::kDone;
    WalkEntries(region.view(), false, on_entry);
    return PatternStatus::kDone;
  }
  if (region_size > stored.size()) return PatternStatus::kDone;
  WalkEntries(stored.first(region_size), mode == kSectionCompressedPerEntry, on_entry);
  return PatternStatus::kDone;
}
