// Reading the engine runs back from a record that the harness wrote with /JSON, for a
// comparison: one engine's runs, or with /AB the runs of both sides in pairs.
#pragma once

#include <optional>
#include <string>

#include "run_compare/comparison.h"

namespace compare {

/// The runs of one /JSON record.
struct RecordedRuns {
  bool ab = false;  ///< recorded with /AB: `a` and `b` hold the complete pairs, in order
  SideRuns a;       ///< the runs of a record without /AB, else side A
  SideRuns b;       ///< side B of an /AB record
};

/// Reads the /JSON record at `path`. Every line must be a record of the harness (run, pass or
/// summary), the first the run's, each pass with every figure a comparison needs. None, with
/// `*error` naming the file, the line and what is wrong ("a.jsonl:3: pass record without
/// \"user_ms\" (written by an older harness?)"), when a line is damaged or the file cannot be
/// read. A pair that a stop cut short is left out.
std::optional<RecordedRuns> ReadRunRecord(const std::string& path, std::string* error);

}  // namespace compare
