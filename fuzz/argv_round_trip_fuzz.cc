// The rebuild of argv into the one command-line text, as a property over generated argument
// lists (the input's NUL bytes separate the elements): either every element scans back as
// what it holds, or the element that cannot be carried is named.
#include <clocale>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "TestKVE/process_command_line.h"
#include "command_text/command_line.h"
#include "fuzz/fuzz_support.h"
#include "platform/ascii.h"

namespace {

using OptionTable = std::map<std::string, std::string, std::less<>>;

bool HasBlank(std::string_view text) { return text.find_first_of(" \t") != std::string_view::npos; }

// What one element means to the user: a word scans as it stands (its quotes are quoting, an
// open one runs to the word's end); /NAME=value with a blank in the value is that one option,
// the value taken out of quotes that wholly enclose it; anything else with a blank is one
// quoted word.
OptionTable Meaning(const std::string& element) {
  if (!element.empty() && !HasBlank(element)) return CommandLine(element.c_str()).table();
  size_t equals = element.find('=');
  if (element.size() >= 2 && (element[0] == '/' || element[0] == '-') && equals != std::string::npos &&
      !HasBlank(element.substr(1, equals - 1))) {
    std::string name = element.substr(1, equals - 1);
    std::string value = element.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (name.empty()) return {};
    return {{platform::AsciiUpperCopy(name), value}};
  }
  return CommandLine(("\"" + element + "\"").c_str()).table();
}

void CheckRoundTrip(std::string_view input) {
  const std::vector<std::string> elements = SplitAtNul(input);
  std::vector<const char*> argv;
  for (const std::string& element : elements) argv.push_back(element.c_str());
  std::string text;
  CarryFailure failure;
  if (!CarryProcessCommandLine(static_cast<int>(argv.size()), argv.data(), &text, &failure)) {
    FUZZ_CHECK(failure.index >= 0 && static_cast<size_t>(failure.index) < elements.size());
    const std::string& refused = elements[static_cast<size_t>(failure.index)];
    // Only a value with both a blank and a quote has no way into the text.
    FUZZ_CHECK(HasBlank(refused) && refused.find('"') != std::string::npos);
    FUZZ_CHECK(!failure.reason.empty());
    return;
  }
  OptionTable meant;
  for (const std::string& element : elements) {
    for (const auto& [name, value] : Meaning(element)) meant[name] = value;
    // Ordinary words reach the text unchanged.
    if (!element.empty() && element.find_first_of(" \t\"") == std::string::npos)
      FUZZ_CHECK(text.find(element) != std::string::npos);
  }
  FUZZ_CHECK(CommandLine(text.c_str()).table() == meant);
  FUZZ_CHECK(text == ProcessCommandLineText(static_cast<int>(argv.size()), argv.data()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  InEachScanLocale([&] { CheckRoundTrip(input); });
  return 0;
}
