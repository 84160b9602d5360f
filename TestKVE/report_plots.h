// The run report's pictures of the passes, as inline SVG: a figure per pass against the pass
// number, and a histogram. However many passes ran, a picture holds at most kPlotBuckets
// groups of consecutive passes, each drawn as its range (min to max) and its median.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The most groups a per-pass picture draws.
inline constexpr size_t kPlotBuckets = 300;

/// Consecutive passes drawn as one: their first and last pass number (from 1) and the range and
/// median of the figures they have; `figures` 0 when none of them has one (min, median and max
/// are then 0 and mean nothing).
struct PassBucket {
  size_t first_pass = 0;
  size_t last_pass = 0;
  size_t figures = 0;
  double min = 0;
  double median = 0;
  double max = 0;
};

/// A pass's figure, or none when the pass has none (its engine did not run).
using PassFigure = std::optional<double>;

/// `values` (one per pass, in pass order) in at most `buckets` groups of equal size (the last
/// may be smaller).
std::vector<PassBucket> BucketPasses(std::span<const PassFigure> values, size_t buckets = kPlotBuckets);

/// Counts of values in equal bins between the smallest and the largest value.
struct Histogram {
  double low = 0;
  double bin_width = 0;
  std::vector<size_t> counts;
};

/// About the square root of the number of values in bins (1 to 40); one bin when every value is
/// the same; no bins for no values.
Histogram HistogramOf(std::span<const double> values);

/// A figure per pass against the pass number: `id` the element's id, `title` its caption,
/// `unit` the figure's unit ("ms"). A pass without a figure is no point: the line breaks at a
/// group that has none, never falling to 0. Each group that holds a pass marked in `failed`
/// (one flag per value, or none) is shaded over the picture's height as failed (class
/// "failed-pass").
std::string PassFigurePlot(std::string_view id, std::string_view title, std::string_view unit,
                           std::span<const PassFigure> values, const std::vector<bool>& failed = {});

/// The histogram of `values` in `unit`.
std::string HistogramPlot(std::string_view id, std::string_view title, std::string_view unit,
                          std::span<const double> values);
