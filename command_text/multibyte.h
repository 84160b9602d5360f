// Steps through text by whole characters (UTF-8 where the system's text is UTF-8, else the
// process locale's), so that searches for ASCII separators never match inside a multibyte
// character.
#pragma once

#include <cstddef>
#include <string_view>

/// Length in bytes of the character at `pos` (at least 1, never past the end).
size_t CharacterLength(std::string_view text, size_t pos);

/// Position of the first character at or after `from` that is one of `chars`, or npos.
size_t FindCharacter(std::string_view text, size_t from, std::string_view chars);

/// The longest prefix of `text` of at most `max_bytes` bytes that ends on a character boundary.
std::string_view CutToCharacters(std::string_view text, size_t max_bytes);
