#include "TestKVE/ab_comparison.h"

#include <cstdio>
#include <map>

#include "command_text/command_line.h"
#include "run_compare/comparison.h"
#include "run_compare/comparison_report.h"
#include "vxr_lib.h"

namespace {

constexpr double kLevel = 0.05;

void AddTo(compare::SideRuns* side, const PassRecord& pass) {
  side->Add(pass.wall_ms, pass.user_ms, pass.system_ms, static_cast<double>(pass.peak_kib), pass.result_name,
            pass.result != VXR_LIB_SUCCESS || pass.timed_out);
}

}  // namespace

std::optional<AbOptions> ReadAbOptions(const CommandLine& line, std::string* error) {
  AbOptions options;
  if (!line.HasOption("AB") || line.HasOption("INTERACT") || line.HasOption("SERVICE")) return options;
  options.folder = OptionValue(line, "AB");
  if (options.folder.empty()) {
    *error = "/AB needs the engine folder of side B: /AB=<engine folder>";
    return std::nullopt;
  }
  if (!line.HasOption("FAILIF")) return options;
  std::optional<std::vector<compare::GateRule>> gate = compare::ParseGate(OptionValue(line, "FAILIF"), error);
  if (!gate) {
    *error = "/FAILIF: " + *error;
    return std::nullopt;
  }
  options.gate = std::move(*gate);
  return options;
}

int CompareAbSides(std::span<const PassRecord> passes, const RunDescription& run,
                   const std::vector<compare::GateRule>& gate) {
  std::map<uint32_t, std::pair<const PassRecord*, const PassRecord*>> pairs;
  for (const PassRecord& pass : passes) (pass.side == "A" ? pairs[pass.pair].first : pairs[pass.pair].second) = &pass;
  compare::SideRuns a, b;
  a.label = run.engine_path;
  b.label = run.engine_b ? run.engine_b->path : "";
  for (const auto& [number, pair] : pairs) {
    if (pair.first == nullptr || pair.second == nullptr) continue;  // a pair that a stop cut short
    AddTo(&a, *pair.first);
    AddTo(&b, *pair.second);
  }
  const compare::Comparison comparison = compare::Compare(a, b, true, kLevel);
  std::fputs(compare::ComparisonText(comparison).c_str(), stdout);
  std::fflush(stdout);
  const std::string broken = compare::BrokenRules(comparison, gate);
  if (broken.empty()) return compare::kGatePassed;
  std::fprintf(stderr, "TestKVE: /FAILIF: B is worse: %s\n", broken.c_str());
  return compare::kGateBroken;
}
