#include "TestKVE/number_warnings.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "command_text/command_line.h"

namespace {

struct NumberOption {
  const char* name;
  bool is_unsigned;  // the number is taken as unsigned, so -1 counts 4294967295
};

constexpr NumberOption kRunNumbers[] = {{"RUN", true}, {"LOOP", true},   {"RANDOM", true},
                                        {"WB", false}, {"LEVEL", false}, {"SEED", true}};
constexpr NumberOption kTypedNumbers[] = {{"LOOP", true}, {"RANDOM", true}, {"WB", false}, {"LEVEL", false}};

enum class Reading { kWhole, kNotANumber, kBeyond32Bits };

// How ReadDecimal's rules meet `text`: white space and a sign, then digits to the end.
Reading Classify(std::string_view text) {
  size_t pos = text.find_first_not_of(" \t\n\v\f\r");
  if (pos == std::string_view::npos) return Reading::kNotANumber;
  bool negative = text[pos] == '-';
  if (text[pos] == '+' || text[pos] == '-') ++pos;
  size_t digits = text.find_first_not_of("0123456789", pos);
  if (digits == std::string_view::npos) digits = text.size();
  if (digits == pos || digits != text.size()) return Reading::kNotANumber;
  int64_t magnitude = 0;
  for (; pos < digits; ++pos) {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return Reading::kBeyond32Bits;
  }
  return magnitude > int64_t{INT32_MAX} + (negative ? 1 : 0) ? Reading::kBeyond32Bits : Reading::kWhole;
}

int Warn(const CommandLine& line, std::span<const NumberOption> options) {
  int warnings = 0;
  for (const NumberOption& option : options) {
    std::string value = OptionValue(line, option.name);
    if (value.empty()) continue;
    Reading reading = Classify(value);
    if (reading == Reading::kWhole) continue;
    int32_t number = ReadDecimal(value);
    std::string read_as = option.is_unsigned ? std::to_string(static_cast<uint32_t>(number)) : std::to_string(number);
    std::fprintf(stderr, "testkve: warning: /%s=%s %s; read as %s\n", option.name, value.c_str(),
                 reading == Reading::kNotANumber ? "is not a whole decimal number" : "does not fit in 32 bits",
                 read_as.c_str());
    ++warnings;
  }
  return warnings;
}

}  // namespace

int WarnAboutRunNumbers(const CommandLine& line) { return Warn(line, kRunNumbers); }

int WarnAboutTypedNumbers(const CommandLine& line) { return Warn(line, kTypedNumbers); }
