#include "TestKVE/known_options.h"

#include <algorithm>
#include <array>

#include "command_text/command_line.h"
#include "platform/ascii.h"

namespace {

// The usage table, the options it leaves out, and the run-control options.
constexpr std::string_view kKnownOptions[] = {
    "VER",     "NC",       "VA",      "SPY",     "GC",     "GCPATH",  "GCNAME", "DLL",      "VXR",
    "QA",      "PTN",      "PTNPATH", "VXRPATH", "LEVEL",  "BL",      "ASSIGN", "EXCEPT",   "RESTORE",
    "LOOP",    "RANDOM",   "WB",      "BK",      "MSGBOX", "DEBUG",   "RUN",    "INTERACT", "QUIT",
    "PERFMON", "MEM",      "SERVICE", "X64",     "QZ",     "?",       "NH",     "QUICK",    "QUICK-",
    "QUIET",   "EXECUTE",  "PL",      "TIMEOUT", "JSON",   "JUNIT",   "STRICT", "SUMMARY",  "SEED",
    "REPORT",  "MARKDOWN", "PREPARE", "CLEANUP", "WARMUP", "CAPTURE", "AB",     "FAILIF",
};

// Levenshtein distance: insertions, deletions and substitutions of one character.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

bool IsKnownOption(std::string_view name) {
  const std::string upper = platform::AsciiUpperCopy(name);
  return std::find(std::begin(kKnownOptions), std::end(kKnownOptions), upper) != std::end(kKnownOptions);
}

std::string NearestKnownOption(std::string_view name) {
  const std::string upper = platform::AsciiUpperCopy(name);
  const size_t allowed = upper.size() <= 4 ? 1 : 2;
  std::string_view nearest;
  size_t best = allowed + 1;
  for (std::string_view known : kKnownOptions) {
    if (known == "?") continue;  // "did you mean /??" helps nobody
    const size_t distance = EditDistance(upper, known);
    if (distance < best) {
      best = distance;
      nearest = known;
    }
  }
  return std::string(nearest);
}

std::vector<std::string> UnknownOptionWarnings(std::string_view line, size_t program_length) {
  std::vector<std::string> warnings;
  ScanOptions(line, [&](const ScannedOption& option) {
    if (option.begin < program_length || option.name.empty() || IsKnownOption(option.name)) return;
    std::string warning = std::string(line.substr(option.begin, option.end - option.begin)) + ": unknown option";
    const std::string nearest = NearestKnownOption(option.name);
    if (!nearest.empty()) warning += "; did you mean /" + nearest + "?";
    warnings.push_back(std::move(warning));
  });
  return warnings;
}
