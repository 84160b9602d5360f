// Reading UTF-8 one character at a time, for every layer that steps through text.
#pragma once

#include <cstddef>
#include <string_view>

/// The length (1 to 4) of the well-formed UTF-8 sequence at `pos` of `text`, with its code
/// point in `*code`; 0 when the bytes there form none (a stray or cut byte, an overlong form,
/// a surrogate, a code point past U+10FFFF).
size_t Utf8SequenceAt(std::string_view text, size_t pos, char32_t* code);
