#include "TestKVE/process_command_line.h"

#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "command_text/command_line.h"
#include "platform/ascii.h"
#include "platform/process_arguments.h"

namespace {

using OptionTable = std::map<std::string, std::string, std::less<>>;

constexpr std::string_view kBlanks = " \t";

bool HasBlank(std::string_view text) { return text.find_first_of(kBlanks) != std::string_view::npos; }

bool IsOptionPrefix(char c) { return c == '/' || c == '-'; }

// An element /NAME=value whose name holds no blank: the user meant that one option.
bool SplitOption(std::string_view element, std::string_view* name, std::string_view* value) {
  size_t equals = element.find('=');
  if (element.size() < 2 || !IsOptionPrefix(element[0]) || equals == std::string_view::npos) return false;
  *name = element.substr(1, equals - 1);
  *value = element.substr(equals + 1);
  return !HasBlank(*name);
}

// A value the user put wholly in double quotes, with no other quote inside.
bool IsWhollyQuoted(std::string_view value) {
  return value.size() >= 2 && value.front() == '"' && value.back() == '"' &&
         value.substr(1, value.size() - 2).find('"') == std::string_view::npos;
}

// An option with a blank in its value: /NAME="value", checked by scanning it back.
bool CarryOptionWithBlank(char prefix, std::string_view name, std::string_view value, std::string* piece,
                          std::string* why) {
  std::string_view meant = value;
  if (IsWhollyQuoted(value)) {
    meant = value.substr(1, value.size() - 2);
  } else if (value.find('"') != std::string_view::npos) {
    *why = "its value holds both a blank and a double quote, which no quoting can carry";
    return false;
  }
  *piece = prefix + std::string(name) + "=\"" + std::string(meant) + '"';
  OptionTable expected;
  if (!name.empty()) expected.emplace(platform::AsciiUpperCopy(name), meant);
  CommandLine scanned(piece->c_str());
  if (scanned.table() != expected || scanned.ended_in_open_quote()) {
    *why = "its value does not scan back whole in this locale";
    return false;
  }
  return true;
}

// A quoted value left open runs to the end of its element; closing it there keeps that value
// and ends it before the next element.
bool CloseOpenQuote(std::string* piece, std::string* why) {
  CommandLine scanned(piece->c_str());
  if (!scanned.ended_in_open_quote()) return true;
  const OptionTable meant = scanned.table();
  *piece += '"';
  CommandLine closed(piece->c_str());
  if (closed.ended_in_open_quote() || closed.table() != meant) {
    *why = "a quote in it cannot be closed in this locale";
    return false;
  }
  return true;
}

bool CarryElement(std::string_view element, std::string* piece, std::string* why) {
  std::string_view name, value;
  if (!element.empty() && !HasBlank(element)) {
    *piece = std::string(element);
  } else if (SplitOption(element, &name, &value)) {
    return CarryOptionWithBlank(element[0], name, value, piece, why);
  } else {
    *piece = '"' + std::string(element) + '"';
  }
  return CloseOpenQuote(piece, why);
}

}  // namespace

bool CarryProcessCommandLine(int argc, const char* const* argv, std::string* text, CarryFailure* failure) {
  text->clear();
  for (int i = 0; i < argc; ++i) {
    std::string piece, why;
    if (!CarryElement(argv[i], &piece, &why)) {
      *failure = {i, why};
      return false;
    }
    if (i > 0) *text += ' ';
    *text += piece;
  }
  return true;
}

std::string ProcessCommandLineText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    std::string piece, why;
    if (!CarryElement(argv[i], &piece, &why)) piece = '"' + std::string(argv[i]) + '"';
    if (i > 0) text += ' ';
    text += piece;
  }
  return text;
}

bool ReadProcessLine(int argc, const char* const* argv, ProcessLine* line, CarryFailure* failure) {
  if (std::optional<std::string> text = platform::ReadCommandLineText()) {
    line->program_length = WindowsProgramPathLength(*text);
    line->text = std::move(*text);
    return true;
  }
  if (!CarryProcessCommandLine(argc, argv, &line->text, failure)) return false;
  line->program_length = argc > 0 ? ProcessCommandLineText(1, argv).size() : 0;
  return true;
}

size_t WindowsProgramPathLength(std::string_view text) {
  if (text.starts_with('"')) {
    const size_t closing = text.find('"', 1);
    return closing == std::string_view::npos ? text.size() : closing + 1;
  }
  const size_t blank = text.find_first_of(kBlanks);
  return blank == std::string_view::npos ? text.size() : blank;
}
