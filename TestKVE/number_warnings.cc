#include "TestKVE/number_warnings.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "command_text/command_line.h"

namespace {

// How an option takes its number, and so what a minus sign does to it.
enum class Sign {
  kSigned,       // a negative number is read as typed
  kWraps,        // read as unsigned by design: -1 counts 4294967295, and no warning is due
  kNonNegative,  // read as unsigned, but a negative number means nothing: warned of
};

struct NumberOption {
  const char* name;
  Sign sign;
};

constexpr NumberOption kRunNumbers[] = {
    {"RUN", Sign::kWraps},           {"LOOP", Sign::kWraps},         {"RANDOM", Sign::kWraps},
    {"WB", Sign::kSigned},           {"LEVEL", Sign::kSigned},       {"SEED", Sign::kNonNegative},
    {"TIMEOUT", Sign::kNonNegative}, {"WARMUP", Sign::kNonNegative},
};
constexpr NumberOption kTypedNumbers[] = {
    {"LOOP", Sign::kWraps}, {"RANDOM", Sign::kWraps}, {"WB", Sign::kSigned}, {"LEVEL", Sign::kSigned}};

enum class Reading { kWhole, kNegative, kNotANumber, kBeyond32Bits };

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
  if (magnitude > int64_t{INT32_MAX} + (negative ? 1 : 0)) return Reading::kBeyond32Bits;
  return negative && magnitude != 0 ? Reading::kNegative : Reading::kWhole;
}

const char* Complaint(Reading reading) {
  switch (reading) {
    case Reading::kNotANumber:
      return "is not a whole decimal number";
    case Reading::kBeyond32Bits:
      return "does not fit in 32 bits";
    default:
      return "is negative";
  }
}

bool IsWarned(Reading reading, Sign sign) {
  if (reading == Reading::kWhole) return false;
  return reading != Reading::kNegative || sign == Sign::kNonNegative;
}

std::string ReadAs(const std::string& value, Sign sign) {
  const int32_t number = ReadDecimal(value);
  return sign == Sign::kSigned ? std::to_string(number) : std::to_string(static_cast<uint32_t>(number));
}

int Warn(const CommandLine& line, std::span<const NumberOption> options) {
  int warnings = 0;
  for (const NumberOption& option : options) {
    const std::string value = OptionValue(line, option.name);
    if (value.empty()) continue;
    const Reading reading = Classify(value);
    if (!IsWarned(reading, option.sign)) continue;
    std::fprintf(stderr, "testkve: warning: /%s=%s %s; read as %s\n", option.name, value.c_str(), Complaint(reading),
                 ReadAs(value, option.sign).c_str());
    ++warnings;
  }
  return warnings;
}

// A negative pass count is a designed way to ask for very many passes; the user hears how many.
void NoteNegativeRun(const CommandLine& line) {
  const std::string value = OptionValue(line, "RUN");
  if (value.empty() || Classify(value) != Reading::kNegative) return;
  std::fprintf(stderr, "testkve: /RUN=%s asks for %s passes\n", value.c_str(), ReadAs(value, Sign::kWraps).c_str());
}

}  // namespace

int WarnAboutRunNumbers(const CommandLine& line) {
  NoteNegativeRun(line);
  return Warn(line, kRunNumbers);
}

int WarnAboutTypedNumbers(const CommandLine& line) { return Warn(line, kTypedNumbers); }
