#include "TestKVE/utf8_text.h"

#include <cstdio>

std::string EscapedText(std::string_view text, const TextEscapes& escapes) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    const size_t sequence = Utf8SequenceAt(text, pos, &code);
    const bool well_formed = sequence != 0;
    const size_t length = well_formed ? sequence : 1;
    if (const char* replacement = well_formed ? escapes.replacement(code) : nullptr) {
      out += replacement;
    } else if (well_formed && escapes.keeps(code)) {
      out.append(text.substr(pos, length));
    } else {
      for (char byte : text.substr(pos, length)) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
        out += escape;
      }
    }
    pos += length;
  }
  return out;
}

bool IsShownInMarkup(char32_t code) {
  if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return false;
  if (code >= 0xFDD0 && code <= 0xFDEF) return false;
  return (code & 0xFFFE) != 0xFFFE;
}

const char* MarkupEntity(char32_t code) {
  switch (code) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    default:
      return nullptr;
  }
}
