#include "platform/utf8.h"

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
