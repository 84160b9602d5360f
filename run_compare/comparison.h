// The comparison of two sides' engine runs (side A, the baseline, and side B): per figure each
// side's median, the shift of B against A as a ratio to A's median with its confidence interval
// and p value, the failure rates with Fisher's exact test, the result codes met on one side
// only, and each side's peak-memory growth over its runs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run_compare/rank_tests.h"

namespace compare {

/// The figures of a side's engine runs, one entry per run in the order they ran.
struct SideRuns {
  std::string label;  ///< what the side is: an engine folder or a record file
  std::vector<double> wall_ms, user_ms, system_ms, peak_kib;
  std::vector<std::string> results;  ///< each run's result name
  std::vector<bool> failed;          ///< a result other than success, or a time limit met

  /// Adds one run.
  void Add(double wall, double user, double system, double peak, std::string result, bool run_failed);
  size_t size() const { return wall_ms.size(); }
};

enum class Figure { kWall, kUser, kSystem, kPeak };
inline constexpr std::array<Figure, 4> kFigures = {Figure::kWall, Figure::kUser, Figure::kSystem, Figure::kPeak};

/// "wall time", "user time", "system time", "peak memory".
std::string_view FigureTitle(Figure figure);
/// "ms" or "KiB".
std::string_view FigureUnit(Figure figure);
/// The figure's runs on one side.
const std::vector<double>& FigureValues(const SideRuns& side, Figure figure);

struct FigureComparison {
  Figure figure = Figure::kWall;
  double median_a = 0;
  double median_b = 0;
  std::optional<Shift> shift;  ///< none with too few runs
  /// The shift and its interval as ratios to A's median (1 + shift / median A); none when A's
  /// median is 0 or there is no shift.
  std::optional<double> ratio, ratio_low, ratio_high;
  bool significant = false;  ///< p below the level
};

struct FailureComparison {
  uint32_t failed_a = 0, runs_a = 0, failed_b = 0, runs_b = 0;
  double p_value = 1;  ///< Fisher's exact test
  bool significant = false;
  double RateA() const { return runs_a == 0 ? 0 : 100.0 * failed_a / runs_a; }
  double RateB() const { return runs_b == 0 ? 0 : 100.0 * failed_b / runs_b; }
};

struct Comparison {
  std::string label_a, label_b;
  bool paired = false;  ///< runs in pairs (/AB): signed-rank test; else Mann-Whitney U
  size_t runs_a = 0, runs_b = 0;
  double level = 0.05;  ///< significance level; the intervals are at 1 - level
  std::array<FigureComparison, 4> figures;
  FailureComparison failures;
  /// Result names met on one side only, with how often.
  std::vector<std::pair<std::string, uint32_t>> only_a, only_b;
  /// Peak memory of the last tenth of a side's runs against its first tenth, in percent.
  std::optional<double> peak_growth_a, peak_growth_b;
};

/// Compares `b` against `a`. With `paired`, run i of A and run i of B form a pair (both sides
/// must have as many runs). `level`: the significance level, from 0 to 1 exclusive.
Comparison Compare(const SideRuns& a, const SideRuns& b, bool paired, double level);

/// Peak memory of the last tenth of `peaks` against the first tenth, in percent; none for fewer
/// than two values or a first tenth of 0.
std::optional<double> PeakGrowthPercent(std::span<const double> peaks);

}  // namespace compare
