#include "TestKVE/utf8_text.h"

#include <cstdio>

namespace {

struct LeadByte {
  size_t length;
  char32_t bits;
  char32_t smallest;  // a smaller code point in this length is an overlong form
};

LeadByte Lead(unsigned char byte) {
  if (byte < 0x80) return {1, byte, 0};
  if ((byte & 0xE0) == 0xC0) return {2, byte & 0x1Fu, 0x80};
  if ((byte & 0xF0) == 0xE0) return {3, byte & 0x0Fu, 0x800};
  if ((byte & 0xF8) == 0xF0) return {4, byte & 0x07u, 0x10000};
  return {0, 0, 0};
}

}  // namespace

size_t Utf8SequenceAt(std::string_view text, size_t pos, char32_t* code) {
  const LeadByte lead = Lead(static_cast<unsigned char>(text[pos]));
  if (lead.length == 0 || text.size() - pos < lead.length) return 0;
  char32_t value = lead.bits;
  for (size_t i = 1; i < lead.length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if ((byte & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte & 0x3Fu);
  }
  if (value < lead.smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *code = value;
  return lead.length;
}

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
