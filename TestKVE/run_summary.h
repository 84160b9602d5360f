// The summary of a run: passes, results by name, engine time and memory, and whether the
// engine's memory grew from the first passes to the last.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/run_record.h"
#include "TestKVE/run_statistics.h"

struct RunSummary {
  uint32_t passes = 0;
  bool interrupted = false;  ///< a stop signal ended the run after these passes
  uint32_t timed_out = 0;
  std::vector<std::pair<std::string, uint32_t>> results;  ///< name and count, by name
  std::optional<Spread> wall_ms;                          ///< none without passes
  std::optional<Moments> wall_moments_ms;                 ///< none without passes
  std::optional<Moments> user_ms;                         ///< the engine's processor time in user mode
  std::optional<Moments> system_ms;                       ///< and in the kernel on its behalf
  std::optional<Spread> peak_kib;                         ///< none without passes
  std::optional<uint32_t> first_random_seed;              ///< of the first pass that made a selection
  /// The mean peak memory of the last tenth of the passes (at least one) over that of the
  /// first tenth, in percent above 100; none with fewer than two passes.
  std::optional<double> peak_growth_percent;
};

/// Growth above this many percent draws the warning.
inline constexpr double kPeakGrowthWarningPercent = 10.0;

/// The summary of `passes`; `interrupted` is left for the caller to set.
RunSummary Summarize(std::span<const PassRecord> passes);

/// The lines /SUMMARY prints on standard output.
std::string SummaryText(const RunSummary& summary);

/// The warning line for standard error when the engine's peak memory grew by more than
/// kPeakGrowthWarningPercent; empty otherwise.
std::string PeakGrowthWarning(const RunSummary& summary);
