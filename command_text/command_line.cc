#include "command_text/command_line.h"

#include <climits>
#include <cstdio>
#include <new>

#include "command_text/multibyte.h"
#include "platform/ascii.h"

namespace {

constexpr size_t npos = std::string_view::npos;

}  // namespace

CommandLine::CommandLine(const char* line) {
  if (line != nullptr)
    ScanOptions(line, [this](const ScannedOption& option) {
      Store(option.name, option.value);
      ended_in_open_quote_ = option.unclosed;
    });
}

bool CommandLine::HasOption(std::string_view name) const { return options.find(name) != options.end(); }

bool CommandLine::GetOptionValue(std::string_view name, std::string* out) const {
  auto it = options.find(name);
  if (it == options.end()) return false;
  *out = it->second;
  return true;
}

void CommandLine::Store(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  options.insert_or_assign(platform::AsciiUpperCopy(name), std::string(value));
}

void ScanOptions(std::string_view line, const std::function<void(const ScannedOption&)>& visit) {
  size_t p = 0;
  while (p < line.size()) {
    size_t prefix = FindCharacter(line, p, "-/");
    if (prefix == npos) return;
    size_t t = prefix + 1;
    if (t >= line.size()) return;
    size_t e = FindCharacter(line, t, " =");
    if (e == npos) {
      visit({line.substr(t), "", false, prefix, line.size()});
      return;
    }
    std::string_view name = line.substr(t, e - t);
    if (line[e] == ' ' || e + 1 == line.size()) {
      visit({name, "", false, prefix, line[e] == ' ' ? e : e + 1});
      p = e + 1;
      continue;
    }
    size_t v = e + 1;
    bool quoted = line[v] == '"';
    size_t start = quoted ? v + 1 : v;
    size_t end = FindCharacter(line, start, quoted ? "\"" : " ");
    if (end == npos) {
      visit({name, line.substr(start), quoted, prefix, line.size(), quoted});
      return;
    }
    visit({name, line.substr(start, end - start), quoted, prefix, quoted ? end + 1 : end});
    p = end + 1;
  }
}

int SplitList(std::string_view text, char separator, std::vector<std::string>* items) {
  try {
    items->clear();
    size_t pos = 0;
    while (pos < text.size() && items->size() < kMaxListItems) {
      size_t end = FindCharacter(text, pos, std::string_view(&separator, 1));
      if (end == npos) end = text.size();
      items->emplace_back(CutToCharacters(text.substr(pos, end - pos), kMaxListItemLength));
      pos = end + 1;
    }
  } catch (const std::bad_alloc&) {
    items->clear();
    std::printf("<<ERROR (insufficient memory available)>>\n");
    return 0;
  }
  return 1;
}

int32_t ReadDecimal(std::string_view text) {
  size_t pos = 0;
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (pos < text.size() && is_space(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) magnitude = static_cast<int64_t>(INT32_MAX) + 1;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

std::string OptionValue(const CommandLine& line, std::string_view name) {
  std::string value;
  line.GetOptionValue(name, &value);
  return value;
}

int32_t ReadDecimalOption(const CommandLine& line, std::string_view name, int32_t fallback) {
  std::string value = OptionValue(line, name);
  return value.empty() ? fallback : ReadDecimal(value);
}
