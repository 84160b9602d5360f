// The summary of a run: passes, results by name, engine time and memory, and whether the
// engine's memory grew from the first passes to the last.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/percentiles.h"
#include "TestKVE/run_record.h"
#include "TestKVE/run_statistics.h"

/// A run's summary, over its measured passes (warm-up passes are not given to it); the figures
/// come from the passes whose engine ran.
struct RunSummary {
  uint32_t passes = 0;
  bool interrupted = false;  ///< a stop signal ended the run after these passes
  uint32_t warm_ups = 0;     ///< the warm-up passes before them (left for the caller to set)
  uint32_t timed_out = 0;
  uint32_t failed = 0;                                    ///< passes that did not run or did not succeed
  std::vector<uint32_t> failed_passes;                    ///< the numbers of the first kListedPassNumbers of them
  std::vector<std::pair<std::string, uint32_t>> results;  ///< name and count, by name
  std::optional<Spread> wall_ms;                          ///< none without passes
  std::optional<Moments> wall_moments_ms;                 ///< none without passes
  std::optional<Moments> user_ms;                         ///< the engine's processor time in user mode
  std::optional<Moments> system_ms;                       ///< and in the kernel on its behalf
  std::optional<Spread> peak_kib;                         ///< none without passes
  std::optional<Percentiles> wall_percentiles_ms;         ///< none without figures
  std::optional<Percentiles> user_percentiles_ms;
  std::optional<Percentiles> system_percentiles_ms;
  std::optional<Percentiles> peak_percentiles_kib;
  std::vector<uint32_t> wall_outliers;        ///< passes whose wall time lies beyond the outlier fence
  std::optional<uint32_t> first_random_seed;  ///< of the first pass that made a selection
  /// The mean peak memory of the last tenth of the passes (at least one) over that of the
  /// first tenth, in percent above 100; none with fewer than two passes.
  std::optional<double> peak_growth_percent;
};

/// The most pass numbers a line of the summary lists.
inline constexpr size_t kListedPassNumbers = 10;

/// Growth above this many percent draws the warning.
inline constexpr double kPeakGrowthWarningPercent = 10.0;

/// The summary of `passes`; `interrupted` and `warm_ups` are left for the caller to set.
RunSummary Summarize(std::span<const PassRecord> passes);

/// The lines /SUMMARY prints on standard output.
std::string SummaryText(const RunSummary& summary);

/// The warning line for standard error when the engine's peak memory grew by more than
/// kPeakGrowthWarningPercent; empty otherwise.
std::string PeakGrowthWarning(const RunSummary& summary);

/// The line for standard error when passes lie beyond the outlier fence of wall time; empty
/// when none do.
std::string OutlierWarning(const RunSummary& summary);

/// "2, 5 and 9", or "1, 2, ... 10 and 4 more" past kListedPassNumbers of `total`.
std::string PassNumberList(std::span<const uint32_t> numbers, size_t total);
