// testkve-compare: compares the engine runs of two /JSON records of the harness (B against the
// baseline A), or the two sides of one /AB record, prints the comparison, writes it as
// Markdown or HTML, and with --fail-if ends with exit status 1 when B is significantly worse.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/whole_file.h"
#include "run_compare/comparison.h"
#include "run_compare/comparison_report.h"
#include "run_compare/failure_gate.h"
#include "run_compare/run_record_file.h"
#include "testkve_version.h"

namespace {

constexpr char kUsage[] =
    "Usage: testkve-compare [options] A.jsonl [B.jsonl]\n"
    "Compares the engine runs of two /JSON records of TestKVE (B against the baseline A), or the\n"
    "two sides of one record made with /AB (paired).\n"
    "  --fail-if RULES   exit status 1 when B is significantly worse beyond a threshold;\n"
    "                    RULES such as 'wall>+5%,peak>+10%,failures>0' (figures wall, user,\n"
    "                    system, peak in percent of A's median; failures in percentage points)\n"
    "  --level P         significance level, 0.05 by default (the intervals are at 1 - P)\n"
    "  --markdown FILE   write the comparison as Markdown\n"
    "  --html FILE       write the comparison as an HTML page with the distributions\n"
    "  --help, --version\n"
    "Exit status: 0 compared (gate passed), 1 a rule of --fail-if broken, 2 unusable input.\n";

struct Options {
  std::vector<std::string> records;
  std::vector<compare::GateRule> gate;
  double level = 0.05;
  std::string markdown_path, html_path;
};

int Unusable(const std::string& message) {
  std::fprintf(stderr, "testkve-compare: %s\n", message.c_str());
  return compare::kGateUnusableInput;
}

bool ReadLevel(const std::string& text, double* level) {
  char* end = nullptr;
  *level = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && *level > 0 && *level < 1;
}

// Reads the arguments into `options`; an empty string, or what is wrong.
std::string ParseArguments(std::span<char* const> args, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      options->records.emplace_back(arg);
      continue;
    }
    if (i + 1 == args.size()) return std::string(arg) + " needs a value";
    const std::string value = args[++i];
    std::string error;
    if (arg == "--fail-if") {
      std::optional<std::vector<compare::GateRule>> gate = compare::ParseGate(value, &error);
      if (!gate) return "--fail-if: " + error;
      options->gate = std::move(*gate);
    } else if (arg == "--level") {
      if (!ReadLevel(value, &options->level)) return "--level " + value + " is not a number between 0 and 1";
    } else if (arg == "--markdown") {
      options->markdown_path = value;
    } else if (arg == "--html") {
      options->html_path = value;
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  if (options->records.empty() || options->records.size() > 2) return "give one /AB record or two records";
  return "";
}

// The two sides to compare, from the records named; none with `*error` set.
std::optional<std::pair<compare::SideRuns, compare::SideRuns>> ReadSides(const Options& options, bool* paired,
                                                                         std::string* error) {
  std::optional<compare::RecordedRuns> first = compare::ReadRunRecord(options.records[0], error);
  if (!first) return std::nullopt;
  if (options.records.size() == 1) {
    if (!first->ab) {
      *error = options.records[0] + " holds the runs of one engine: give a second record to compare with";
      return std::nullopt;
    }
    *paired = true;
    return std::make_pair(std::move(first->a), std::move(first->b));
  }
  std::optional<compare::RecordedRuns> second = compare::ReadRunRecord(options.records[1], error);
  if (!second) return std::nullopt;
  for (size_t i = 0; i < 2; ++i) {
    if (!(i == 0 ? first : second)->ab) continue;
    const std::string& path = options.records[i];
    *error = path + " holds an /AB run of two engines: compare its sides with testkve-compare " + path;
    return std::nullopt;
  }
  first->a.label = options.records[0];
  second->a.label = options.records[1];
  *paired = false;
  return std::make_pair(std::move(first->a), std::move(second->a));
}

bool WriteOutput(const std::string& path, const std::string& text) {
  if (path.empty()) return true;
  platform::Error error;
  if (ReplaceFileAtomically(path, text, LinkRule::kRefuse, &error)) return true;
  std::fprintf(stderr, "testkve-compare: cannot write %s: %s\n", path.c_str(), error.text.c_str());
  return false;
}

int Run(const Options& options) {
  bool paired = false;
  std::string error;
  const auto sides = ReadSides(options, &paired, &error);
  if (!sides) return Unusable(error);
  const auto& [a, b] = *sides;
  if (a.size() == 0 || b.size() == 0)
    return Unusable("no engine runs to compare on side " + std::string(a.size() == 0 ? "A" : "B"));
  const compare::Comparison comparison = compare::Compare(a, b, paired, options.level);
  std::fputs(compare::ComparisonText(comparison).c_str(), stdout);
  if (!WriteOutput(options.markdown_path, compare::ComparisonMarkdown(comparison)) ||
      !WriteOutput(options.html_path, compare::ComparisonHtml(comparison, a, b))) {
    return compare::kGateUnusableInput;
  }
  const std::string broken = compare::BrokenRules(comparison, options.gate);
  if (broken.empty()) return compare::kGatePassed;
  std::fprintf(stderr, "testkve-compare: B is worse: %s\n", broken.c_str());
  return compare::kGateBroken;
}

}  // namespace

int main(int argc, char** argv) {
  const std::span<char* const> args(argv + 1, static_cast<size_t>(argc > 0 ? argc - 1 : 0));
  if (args.size() == 1 && (std::string_view(args[0]) == "--help" || std::string_view(args[0]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 1 && (std::string_view(args[0]) == "--version" || std::string_view(args[0]) == "-V")) {
    std::printf("testkve-compare (TestKVE) %s\n", kTestKVEVersion);
    return 0;
  }
  Options options;
  if (const std::string wrong = ParseArguments(args, &options); !wrong.empty()) {
    std::fprintf(stderr, "testkve-compare: %s\n%s", wrong.c_str(), kUsage);
    return compare::kGateUnusableInput;
  }
  const int status = Run(options);
  return std::fflush(stdout) == 0 ? status : Unusable("cannot write the comparison");
}
