// The escaping of the run records on arbitrary bytes: a JSON string literal must decode back
// to exactly the bytes it was made from, and XML text must be well-formed UTF-8 made only of
// characters XML allows, with markup only as entities; HTML text the same with no control
// character or noncharacter; Markdown text with every ASCII punctuation character behind a
// backslash; a JUnit report and report pages named by the bytes stay well-formed UTF-8.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TestKVE/html_report.h"
#include "TestKVE/junit_writer.h"
#include "TestKVE/markdown_report.h"
#include "TestKVE/markdown_text.h"
#include "TestKVE/run_json.h"
#include "TestKVE/utf8_text.h"
#include "fuzz/fuzz_support.h"

namespace {

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

uint32_t Hex4(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    FUZZ_CHECK(std::isxdigit(static_cast<unsigned char>(c)));
    value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return value;
}

// Decodes a JSON string literal as a reader would, lone surrogates U+DC80..U+DCFF as the bytes
// they stand for; a pair of surrogates as its character.
std::string DecodeJsonLiteral(std::string_view literal) {
  FUZZ_CHECK(literal.size() >= 2 && literal.front() == '"' && literal.back() == '"');
  std::string bytes;
  for (size_t pos = 1; pos + 1 < literal.size();) {
    const auto c = static_cast<unsigned char>(literal[pos]);
    FUZZ_CHECK(c >= 0x20 && c != '"');
    if (c != '\\') {
      bytes += static_cast<char>(c);
      ++pos;
      continue;
    }
    const char kind = literal[pos + 1];
    const std::string_view simple = "\"\\/bfnrt";
    const std::string_view meaning = "\"\\/\b\f\n\r\t";
    if (kind != 'u') {
      FUZZ_CHECK(simple.find(kind) != std::string_view::npos);
      bytes += meaning[simple.find(kind)];
      pos += 2;
      continue;
    }
    const uint32_t unit = Hex4(literal.substr(pos + 2, 4));
    pos += 6;
    if (unit >= 0xDC80 && unit <= 0xDCFF) {
      bytes += static_cast<char>(unit - 0xDC00);
    } else {
      FUZZ_CHECK(unit < 0xD800 || unit > 0xDFFF);  // the writer makes no other surrogate
      AppendUtf8(unit, &bytes);
    }
  }
  return bytes;
}

void CheckWellFormedUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    const size_t length = Utf8SequenceAt(text, pos, &code);
    FUZZ_CHECK(length > 0);
    pos += length;
  }
}

void CheckXmlText(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    const size_t length = Utf8SequenceAt(text, pos, &code);
    FUZZ_CHECK(length > 0);
    FUZZ_CHECK(code >= 0x20 && code != 0xFFFE && code != 0xFFFF);
    FUZZ_CHECK(code != '<' && code != '>' && code != '"' && code != '\'');
    if (code == '&') {
      const size_t end = text.find(';', pos);
      FUZZ_CHECK(end != std::string_view::npos);
      const std::string_view entity = text.substr(pos, end - pos + 1);
      FUZZ_CHECK(entity == "&amp;" || entity == "&lt;" || entity == "&gt;" || entity == "&quot;" ||
                 entity == "&apos;" || entity == "&#9;" || entity == "&#10;" || entity == "&#13;");
    }
    pos += length;
  }
}

void CheckHtmlText(std::string_view text) {
  CheckXmlText(text);
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    pos += Utf8SequenceAt(text, pos, &code);
    FUZZ_CHECK(IsShownInMarkup(code));
  }
}

// A backslash is followed by the punctuation it escapes or by the "x" of a \xHH byte escape,
// so no punctuation character is read as markup.
// Nothing in escaped text starts markup: every character that would (a cell border, code,
// emphasis, strikethrough, a link, HTML, an entity) stands behind a backslash.
void CheckMarkdownText(std::string_view text) {
  CheckWellFormedUtf8(text);
  const auto alnum = [&](size_t pos) {
    return pos < text.size() && std::isalnum(static_cast<unsigned char>(text[pos]));
  };
  for (size_t pos = 0; pos < text.size(); ++pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    if (c == '\\') {
      if (pos + 1 < text.size() && std::ispunct(static_cast<unsigned char>(text[pos + 1])))
        ++pos;
      else
        FUZZ_CHECK(pos + 1 < text.size());  // a backslash at the end would escape what follows
      continue;
    }
    FUZZ_CHECK(std::string_view("|`*~[<").find(static_cast<char>(c)) == std::string_view::npos);
    if (c == '_') FUZZ_CHECK(pos > 0 && alnum(pos - 1) && alnum(pos + 1));
    if (c == '&')
      FUZZ_CHECK(pos + 1 == text.size() ||
                 (text[pos + 1] != '#' && !std::isalpha(static_cast<unsigned char>(text[pos + 1]))));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string literal = JsonStringLiteral(bytes);
  CheckWellFormedUtf8(literal);
  FUZZ_CHECK(DecodeJsonLiteral(literal) == bytes);

  CheckXmlText(XmlEscaped(bytes));
  PassRecord pass;
  pass.number = 1;
  pass.pattern_names = {std::string(bytes), "x"};
  pass.result = 1;
  pass.result_name = std::string(bytes);
  RunDescription run;
  run.engine_path = std::string(bytes);
  CheckWellFormedUtf8(JUnitReport(run, std::vector<PassRecord>{pass}));

  CheckHtmlText(HtmlEscaped(bytes));
  CheckMarkdownText(MarkdownEscaped(bytes));
  const std::vector<PassRecord> passes = {pass};
  RunReport report;
  report.run = run;
  report.run.command_line = std::string(bytes);
  report.run.host_name = std::string(bytes);
  report.passes = passes;
  CheckWellFormedUtf8(HtmlReport(report));
  CheckWellFormedUtf8(MarkdownReport(report));
  return 0;
}
