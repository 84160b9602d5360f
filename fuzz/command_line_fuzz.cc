// The option scans on arbitrary bytes: the harness's command line (from one text, and from an
// argv rebuilt into one text), its lists and numbers, and the engine's /SMH= and /PI= scan.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TestKVE/process_command_line.h"
#include "command_text/command_line.h"
#include "engine_sdk/engine_settings.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr const char* kOptionNames[] = {
    "VER",    "NC", "GCPATH", "GCNAME",   "PTN",  "PTNPATH", "VXRPATH", "LEVEL", "ASSIGN",  "EXCEPT", "RESTORE", "LOOP",
    "RANDOM", "WB", "RUN",    "INTERACT", "QUIT", "SERVICE", "EXECUTE", "DEBUG", "PERFMON", "",       "A",       "/",
};
constexpr const char* kListOptions[] = {"GCPATH", "GCNAME", "ASSIGN", "EXCEPT", "RESTORE"};
constexpr const char* kNumberOptions[] = {"LEVEL", "LOOP", "RANDOM", "WB", "RUN"};

// The runtime's atoi on a C text, saturated to 32 bits: what ReadDecimal promises.
int32_t ReferenceDecimal(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void CheckList(std::string_view value, char separator) {
  std::vector<std::string> items = {"left over"};
  FUZZ_CHECK(SplitList(value, separator, &items) == 1);
  FUZZ_CHECK(items.size() <= kMaxListItems);
  for (const std::string& item : items) {
    FUZZ_CHECK(item.size() <= kMaxListItemLength);
    FUZZ_CHECK(value.find(item) != std::string_view::npos);
  }
  FUZZ_CHECK(value.empty() == items.empty());
}

void CheckLine(const CommandLine& line) {
  for (const char* name : kOptionNames) {
    std::string value = "untouched";
    bool found = line.GetOptionValue(name, &value);
    FUZZ_CHECK(found == line.HasOption(name));
    FUZZ_CHECK(found || value == "untouched");
  }
  for (const char* name : kListOptions) {
    std::string value;
    if (line.GetOptionValue(name, &value)) CheckList(value, ';');
  }
  for (const char* name : kNumberOptions) {
    std::string value;
    int32_t number = ReadDecimalOption(line, name, -7);
    if (!line.GetOptionValue(name, &value) || value.empty()) {
      FUZZ_CHECK(number == -7);
    } else if (value.find('\0') == std::string::npos) {
      FUZZ_CHECK(number == ReferenceDecimal(value));
    }
  }
}

void CheckEngineArguments(const std::vector<std::string>& elements) {
  std::vector<const char*> arguments;
  for (const std::string& element : elements) arguments.push_back(element.c_str());
  std::string error;
  auto location = engine_sdk::FindBlockLocation(arguments, &error);
  FUZZ_CHECK(location.has_value() || !error.empty());
}

void ScanAll(std::string_view text) {
  const std::string whole(text);
  CommandLine typed(whole.c_str());  // a typed line ends at its first NUL
  CheckLine(typed);
  std::vector<std::string> elements = SplitAtNul(text);
  std::vector<const char*> argv;
  for (const std::string& element : elements) argv.push_back(element.c_str());
  const std::string joined = ProcessCommandLineText(static_cast<int>(argv.size()), argv.data());
  CheckLine(CommandLine(joined.c_str()));
  CheckEngineArguments(elements);
  CheckList(text, ';');
  if (text.find('\0') == std::string_view::npos) {
    FUZZ_CHECK(ReadDecimal(text) == ReferenceDecimal(whole));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  InEachScanLocale([&] { ScanAll(text); });
  return 0;
}
