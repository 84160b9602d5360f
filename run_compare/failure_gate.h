// The gate a CI job sets on a comparison: "wall>+5%,peak>+10%,failures>0". A rule is broken when
// B's figure exceeds A's by more than its threshold and the difference is significant.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run_compare/comparison.h"

namespace compare {

/// One rule: for wall, user, system and peak, the threshold is B's shift in percent of A's
/// median; for failures, B's failure rate minus A's in percentage points.
struct GateRule {
  std::optional<Figure> figure;  ///< none: the failures
  double threshold = 0;
};

/// Reads a gate: rules "<figure>><threshold>" parted by commas, the figure one of wall, user,
/// system, peak and failures in any case, the threshold a decimal number with an optional sign
/// and an optional "%". None, with `*error` naming the part that is wrong, otherwise.
std::optional<std::vector<GateRule>> ParseGate(std::string_view text, std::string* error);

/// The rules that `comparison` breaks, as one line ("wall time +12.0 % (95 % CI +8.1 % to
/// +16.0 %, p = 0.0001) beyond +5 %; ..."), or empty when it breaks none.
std::string BrokenRules(const Comparison& comparison, const std::vector<GateRule>& rules);

/// The exit status of a gate: 0 passed, 1 a rule broken.
inline constexpr int kGatePassed = 0;
inline constexpr int kGateBroken = 1;
/// The input could not be compared (testkve-compare) or the gate not read.
inline constexpr int kGateUnusableInput = 2;

}  // namespace compare
