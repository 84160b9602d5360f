// Little-endian fields of the formats we read and write (settings block, signature trailer,
// pattern records, version information), independent of the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

/// The 16-bit little-endian value at `bytes`; Byte is a byte-sized type (char, uint8_t, byte).
template <typename Byte>
uint16_t LoadLittleEndian16(const Byte* bytes) {
  static_assert(sizeof(Byte) == 1);
  return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<uint8_t>(bytes[0])) |
                               static_cast<uint32_t>(static_cast<uint8_t>(bytes[1])) << 8);
}

/// The 32-bit little-endian value at `bytes`.
template <typename Byte>
uint32_t LoadLittleEndian32(const Byte* bytes) {
  return static_cast<uint32_t>(LoadLittleEndian16(bytes)) | static_cast<uint32_t>(LoadLittleEndian16(bytes + 2)) << 16;
}

/// Writes the low `width` bytes of `value` at `bytes`, least significant first.
template <typename Byte>
void StoreLittleEndian(Byte* bytes, uint64_t value, size_t width) {
  static_assert(sizeof(Byte) == 1);
  for (size_t i = 0; i < width; ++i) bytes[i] = static_cast<Byte>((value >> (8 * i)) & 0xFF);
}
