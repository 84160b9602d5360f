#include "TestKVE/markdown_text.h"

#include <cctype>

#include "TestKVE/utf8_text.h"

namespace {

const char* NoReplacement(char32_t) { return nullptr; }

bool IsAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool IsAsciiPunctuation(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x80 && std::ispunct(byte) != 0;
}

bool IsAsciiLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i]) return false;
  }
  return true;
}

// Whether the character at `pos` of `text` would change the rendering if it stood bare.
bool NeedsEscape(std::string_view text, size_t pos) {
  const char c = text[pos];
  const char before = pos > 0 ? text[pos - 1] : ' ';
  const char after = pos + 1 < text.size() ? text[pos + 1] : '\0';
  switch (c) {
    case '|':  // a cell border
    case '`':  // code
    case '*':  // emphasis
    case '~':  // strikethrough
    case '[':  // links, images and footnotes
    case '<':  // HTML and autolinks
      return true;
    case '_':  // emphasis, except inside a word (VXR_RET_REBOOT_MACHINE)
      return !(IsAsciiAlnum(before) && IsAsciiAlnum(after));
    case '&':  // an entity such as &amp; or &#42;
      return after == '#' || IsAsciiLetter(after);
    case '\\':  // escapes what follows when that is punctuation; the text is always followed by some
      return after == '\0' || IsAsciiPunctuation(after);
    case ':':  // http://...
      return text.substr(pos + 1, 2) == "//";
    case '.':  // www.example.com
      return EndsWithNoCase(text.substr(0, pos), "www");
    default:
      return false;
  }
}

}  // namespace

std::string MarkdownEscaped(std::string_view text) {
  // First every byte that cannot be shown becomes "\xHH": a backslash before a letter, which
  // Markdown shows as it is.
  const std::string shown = EscapedText(text, {IsShownInMarkup, NoReplacement});
  std::string out;
  out.reserve(shown.size() + shown.size() / 8);
  for (size_t pos = 0; pos < shown.size(); ++pos) {
    if (NeedsEscape(shown, pos)) out += '\\';
    out += shown[pos];
  }
  return out;
}
