#include "command_text/service_arguments.h"

#include "command_text/command_line.h"
#include "command_text/multibyte.h"
#include "platform/ascii.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// Position of `needle` at or after `from`, stepping by whole characters so that no match starts
// inside a multibyte character.
size_t FindText(std::string_view text, size_t from, std::string_view needle) {
  for (size_t pos = from; pos < text.size(); pos += CharacterLength(text, pos)) {
    if (text.substr(pos, needle.size()) == needle) return pos;
  }
  return npos;
}

// A double quote at index 2 or later within the program name; one at 0 or 1 opens a quoted
// program path.
size_t FindProgramQuote(std::string_view text, size_t program_length) {
  size_t quote = FindText(text, 0, "\"");
  while (quote != npos && quote < 2) quote = FindText(text, quote + 1, "\"");
  return quote < program_length ? quote : npos;
}

std::string WithoutServiceOptions(std::string text) {
  std::string kept;
  size_t copied = 0;
  ScanOptions(text, [&](const ScannedOption& option) {
    if (!platform::AsciiEqualFold(option.name, "SERVICE")) return;
    kept.append(text, copied, option.begin - copied);
    copied = option.end;
  });
  kept.append(text, copied);
  return kept;
}

}  // namespace

ServiceArguments RewriteServiceArguments(std::string_view command, size_t program_length) {
  // The upper-case copy is only searched; cuts apply to the text as given.
  const std::string upper = platform::AsciiUpperCopy(command);
  ServiceArguments result;
  std::string_view rest = command;
  if (size_t quote = FindProgramQuote(upper, program_length); quote != npos) {
    rest = command.substr(quote + 1);
    result.program_quoted = true;
  } else if (size_t name = FindText(upper, 0, "TESTKVE"); name != npos) {
    size_t blank = FindText(upper, name, " /");
    rest = blank == npos ? std::string_view() : command.substr(blank);
  }
  result.options = WithoutServiceOptions(std::string(rest));
  return result;
}

std::vector<std::string> ServiceOptionWords(std::string_view options) {
  std::vector<std::string> words;
  ScanOptions(options, [&](const ScannedOption& option) {
    if (option.name.empty()) return;
    if (!option.quoted) {
      words.emplace_back(options.substr(option.begin, option.end - option.begin));
      return;
    }
    // The harness quotes a value with blanks again when it rebuilds its command line.
    words.push_back(std::string(1, options[option.begin]) + std::string(option.name) + "=" + std::string(option.value));
  });
  return words;
}
