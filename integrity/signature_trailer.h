// The layout of the signature trailer that ends the maker's files: content, then an RSA
// signature of L bytes (a big-endian number), then L as 32-bit little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

inline constexpr size_t kTrailerLengthFieldBytes = 4;
/// The largest signature a trailer may carry: the size of a 1024-bit modulus.
inline constexpr uint32_t kMaxTrailerSignatureBytes = 128;

/// L from the four bytes of the length field.
uint32_t DecodeTrailerLength(std::span<const uint8_t, kTrailerLengthFieldBytes> field);

/// Whether a file of `file_size` bytes ending in the length `length` has a well-formed
/// trailer: 1 <= L <= 128 and at least one content byte in front of the signature.
bool IsWellFormedTrailer(uint32_t length, int64_t file_size);

/// Appends `signature` and its length field to `file`; false (and `file` unchanged) when the
/// signature is empty or longer than 128 bytes.
bool AppendSignatureTrailer(std::span<const uint8_t> signature, std::string* file);
