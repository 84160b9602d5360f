// The section level of the pattern files: a plain record body holds a 14-byte section header
// and a data region of entries, compressed with raw DEFLATE as a whole (mode 0x81) or entry by
// entry (mode 0x01), or stored plain (any other mode).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "pattern_reader/pattern_file.h"

inline constexpr size_t kPatternSectionHeaderSize = 14;
inline constexpr size_t kPatternEntryHeaderMinSize = 10;
inline constexpr uint8_t kSectionCompressedWhole = 0x81;
inline constexpr uint8_t kSectionCompressedPerEntry = 0x01;
/// One expansion produces at most this many bytes...
inline constexpr size_t kMaxExpandedBytes = 32767;
/// ...from at most this many stored bytes.
inline constexpr size_t kMaxCompressedBytes = 32768;

/// Gets one entry's plain data, which lives only until it returns; false stops the section.
using PatternEntryHandler = std::function<bool(std::span<const uint8_t> data)>;

/// Expands the raw DEFLATE stream `input` (no zlib or gzip wrapper, 32 KB window) into
/// `output`, producing at most min(output.size(), 32767) bytes. True with the count in
/// `*produced` when the stream ends within that room; false for bad data, a stream that is cut
/// short or would produce more than the room, or an input over 32768 bytes.
bool ExpandDeflate(std::span<const uint8_t> input, std::span<uint8_t> output, uint16_t* produced);

/// Walks the entries of the plain section `body` and hands each entry's plain data to
/// `on_entry`. Lengths in the body are untrusted: a section whose region or expansion does not
/// match its header (mode 0x81: expansion other than D bytes or a stored region over 32768
/// bytes; other modes: D + 14 beyond the body) is given up, and the entry walk stops at an
/// entry header shorter than 10, an entry running past the region, or (mode 0x01) an entry
/// whose expansion fails or differs from U. Memory holds one region and one entry expansion.
/// kDone also when the section is given up; kBadArgument for an empty body or a null callback.
PatternStatus ParsePatternSection(std::span<const uint8_t> body, const PatternEntryHandler& on_entry);
