// What an /AB run adds at its end: the comparison of side B's engine runs with side A's, and
// the gate of /FAILIF on it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TestKVE/run_record.h"
#include "run_compare/failure_gate.h"

class CommandLine;

/// /AB's settings from the process command line.
struct AbOptions {
  std::string folder;                   ///< side B's engine folder; empty: no /AB
  std::vector<compare::GateRule> gate;  ///< /FAILIF's rules; none without it
};

/// Reads /AB and /FAILIF (/AB counts only in the run loop, not with /INTERACT or /SERVICE).
/// None, with `*error` saying why, when /AB names no folder or /FAILIF is not a gate.
std::optional<AbOptions> ReadAbOptions(const CommandLine& line, std::string* error);

/// Compares the complete pairs among `passes` (side B against side A) at the 0.05 level, prints
/// the comparison and, when it breaks a rule of `gate`, the reason on standard error. Returns
/// kGateBroken or kGatePassed.
int CompareAbSides(std::span<const PassRecord> passes, const RunDescription& run,
                   const std::vector<compare::GateRule>& gate);
