#include "command_text/multibyte.h"

#include <cwchar>

#include "platform/text_encoding.h"
#include "platform/utf8.h"

size_t CharacterLength(std::string_view text, size_t pos) {
  size_t length = 0;
  if (platform::TextIsUtf8()) {
    char32_t ignored = 0;
    length = Utf8SequenceAt(text, pos, &ignored);
  } else {
    std::mbstate_t state{};
    length = std::mbrlen(text.data() + pos, text.size() - pos, &state);
  }
  // Invalid or incomplete sequences count as single bytes, so every step advances.
  if (length == 0 || length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2)) return 1;
  return length;
}
size_t FindCharacter(std::string_view text, size_t from, std::string_view chars) {
  for (size_t pos = from; pos < text.size(); pos += CharacterLength(text, pos)) {
    if (chars.find(text[pos]) != std::string_view::npos) return pos;
  }
  return std::string_view::npos;
}

std::string_view CutToCharacters(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = 0;
  while (end < text.size()) {
    size_t next = end + CharacterLength(text, end);
    if (next > max_bytes) break;
    end = next;
  }
  return text.substr(0, end);
}
