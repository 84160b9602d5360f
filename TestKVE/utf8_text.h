// Reading UTF-8 byte by byte, and carrying any bytes into a text format, for the record writers
// and report pages that must carry any byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf8.h"

/// How a text format carries arbitrary bytes: the characters it takes as they are, and the
/// replacements of those that need one.
struct TextEscapes {
  bool (*keeps)(char32_t code);               ///< a character the format carries as it is
  const char* (*replacement)(char32_t code);  ///< its replacement text, or null for none
};

/// `text` in a format: each well-formed character with a replacement as that replacement, else
/// as it is when the format keeps it; every other character and every byte that is not UTF-8
/// as the text "\xHH" per byte. Always well-formed UTF-8.
std::string EscapedText(std::string_view text, const TextEscapes& escapes);

/// A character that HTML and Markdown carry as it is: no control character (C0, DEL, C1) and
/// no noncharacter, which an HTML parser reports as errors.
bool IsShownInMarkup(char32_t code);

/// The entity of a markup character of XML and HTML (& < > " '), or null for any other.
const char* MarkupEntity(char32_t code);
