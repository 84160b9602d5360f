// Small pattern files built byte by byte, so that each test can shape the one length or field
// it is about: records, masking, sections, entries and name sub-entries.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace pattern_fixture {

inline constexpr uint32_t kNameKind = 0x1ABDE21A;
inline constexpr uint32_t kOtherKind = 0x1ABDD51A;

/// `value` as `width` little-endian bytes.
std::string Le(uint64_t value, size_t width);
/// Raw DEFLATE (no wrapper) of `plain`.
std::string Deflate(std::string_view plain);
/// Every byte XOR 0xA7.
std::string Masked(std::string body);

/// A 14-byte record header whose body is a x b bytes.
std::string RecordHeader(uint32_t kind, uint16_t a, uint16_t b, uint16_t version = 0);
/// A header (A = the body's length, B = 1) and the masked `plain_body`.
std::string Record(uint32_t kind, const std::string& plain_body, uint16_t version = 0);
/// A 128-byte signature and its length: the trailer the walker stops at.
std::string Trailer();

/// A section header (mode at 10, D at 12) followed by `stored`.
std::string Section(uint8_t mode, uint16_t d, const std::string& stored);
/// Mode 0: the region stored as it is.
std::string PlainSection(const std::string& region);
/// Mode 0x01: the region of (compressed) entries stored as it is.
std::string PerEntrySection(const std::string& region);
/// Mode 0x81: the region compressed, D its plain size plus `d_offset`.
std::string WholeSection(const std::string& region, int d_offset = 0);

/// An entry: H, 4 unread bytes, U, C, H - 10 unread bytes, then `stored`.
std::string Entry(const std::string& stored, uint16_t h = 10, uint16_t u = 0);
/// Mode 0x01 entry: `plain` compressed, U its size plus `u_offset`.
std::string CompressedEntry(const std::string& plain, int u_offset = 0);

/// One sub-entry: tag, kind, `name` NUL-padded to 18 bytes (not terminated at 18), K and K
/// items of 4 bytes.
std::string NameSub(std::string_view name, uint16_t k = 0, uint8_t tag = 0xF3, uint8_t kind = 0xD3);
/// Name entry data: 20 unread bytes, N (the size of `subs` unless given), then `subs`.
std::string NameData(const std::string& subs, int n = -1);
/// Name entry data holding one name sub-entry for each of `names`.
std::string Names(std::initializer_list<std::string_view> names);

/// A whole file: one name record with a plain section holding one entry of `names`, after a
/// record of another kind, then the trailer.
std::string NamesFile(std::initializer_list<std::string_view> names, uint16_t version = 1);

}  // namespace pattern_fixture
