// UTF-16 little-endian text as Windows structures hold it, to and from UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

/// Appends the UTF-16LE form of `utf8` to `out`; false (out partly written) when `utf8` is
/// not valid UTF-8.
bool AppendUtf16FromUtf8(std::string_view utf8, std::string* out);

/// The UTF-8 form of UTF-16LE `bytes` up to the first NUL unit or the end; an unpaired
/// surrogate becomes U+FFFD, an odd last byte is ignored.
std::string Utf8FromUtf16(std::span<const uint8_t> bytes);
