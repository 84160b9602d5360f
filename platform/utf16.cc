#include "platform/utf16.h"

#include "platform/utf8.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUnit(char16_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

void AppendUtf8(char32_t code, std::string* out) {
  auto byte = [out](char32_t value) { out->push_back(static_cast<char>(value)); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | (code >> 6));
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | (code >> 12));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | (code >> 18));
    byte(0x80 | ((code >> 12) & 0x3F));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

}  // namespace

bool AppendUtf16FromUtf8(std::string_view utf8, std::string* out) {
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t code = 0;
    const size_t length = Utf8SequenceAt(utf8, pos, &code);
    if (length == 0) return false;
    pos += length;
    if (code < 0x10000) {
      AppendUnit(static_cast<char16_t>(code), out);
      continue;
    }
    code -= 0x10000;
    AppendUnit(static_cast<char16_t>(0xD800 + (code >> 10)), out);
    AppendUnit(static_cast<char16_t>(0xDC00 + (code & 0x3FF)), out);
  }
  return true;
}

std::string Utf8FromUtf16(std::span<const uint8_t> bytes) {
  std::string text;
  size_t units = bytes.size() / 2;
  auto unit_at = [bytes](size_t i) { return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
  for (size_t i = 0; i < units; ++i) {
    char32_t unit = unit_at(i);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      char32_t low = unit_at(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &text);
        ++i;
        continue;
      }
    }
    AppendUtf8(unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit, &text);
  }
  return text;
}
