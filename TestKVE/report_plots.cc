#include "TestKVE/report_plots.h"

#include <algorithm>
#include <cmath>

#include "TestKVE/run_statistics.h"
#include "svg_plot/svg_plot.h"

namespace {

constexpr double kWidth = 900, kHeight = 300;
constexpr double kLeft = 80, kRight = 870, kTop = 40, kBottom = 260;
constexpr char kMedianColour[] = "#00798c";
constexpr char kBandColour[] = "#00798c";
constexpr char kBarColour[] = "#d1495b";
constexpr char kFailureColour[] = "#b00020";
constexpr size_t kMostBins = 40;

std::string Open(std::string_view id, std::string_view title) {
  const std::string width = svg::Number(kWidth, 0), height = svg::Number(kHeight, 0);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot\" id=\"" + svg::TextEscaped(id) + "\" width=\"" +
         width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
         "\" font-family=\"sans-serif\" role=\"img\">\n<title>" + svg::TextEscaped(title) +
         "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" + svg::Text(kLeft, 22, title, 15);
}

int DecimalsFor(double step) { return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step))); }

// The y range of figures from `low` to `high`: from zero, with room above.
double TopOf(double high) { return svg::NiceCeiling(high * 1.05, 4); }

bool HoldsFailure(const PassBucket& bucket, const std::vector<bool>& failed) {
  for (size_t pass = bucket.first_pass; pass <= bucket.last_pass && pass <= failed.size(); ++pass) {
    if (failed[pass - 1]) return true;
  }
  return false;
}

// A shade over the whole height of each group that holds a failed pass; none when none does.
std::string FailureMarks(const svg::PlotArea& area, std::span<const PassBucket> buckets,
                         const std::vector<bool>& failed) {
  std::string marks;
  for (const PassBucket& bucket : buckets) {
    if (!HoldsFailure(bucket, failed)) continue;
    marks +=
        svg::Rectangle(area, static_cast<double>(bucket.first_pass) - 0.5, static_cast<double>(bucket.last_pass) + 0.5,
                       0, area.y_max, kFailureColour, 0.25, "failed-pass");
  }
  return marks;
}

// The range of each stretch of groups that have figures, one band per stretch, so that a group
// without any leaves a gap rather than a range down to 0.
std::string Bands(const svg::PlotArea& area, std::span<const PassBucket> buckets) {
  std::string bands;
  std::vector<double> x, low, top;
  auto close_stretch = [&] {
    if (!x.empty()) bands += svg::Band(area, x, low, top, kBandColour, 0.25);
    x.clear();
    low.clear();
    top.clear();
  };
  for (const PassBucket& bucket : buckets) {
    if (bucket.figures == 0) {
      close_stretch();
      continue;
    }
    x.push_back(static_cast<double>(bucket.first_pass + bucket.last_pass) / 2);
    low.push_back(bucket.min);
    top.push_back(bucket.max);
  }
  close_stretch();
  return bands;
}

}  // namespace

std::vector<PassBucket> BucketPasses(std::span<const PassFigure> values, size_t buckets) {
  std::vector<PassBucket> out;
  if (values.empty() || buckets == 0) return out;
  const size_t size = (values.size() + buckets - 1) / buckets;
  for (size_t first = 0; first < values.size(); first += size) {
    const size_t end = std::min(values.size(), first + size);
    std::vector<double> group;
    for (size_t pass = first; pass < end; ++pass)
      if (values[pass]) group.push_back(*values[pass]);
    std::sort(group.begin(), group.end());
    PassBucket bucket{first + 1, end, group.size()};
    if (!group.empty()) {
      bucket.min = group.front();
      bucket.median = SortedMedian(group);
      bucket.max = group.back();
    }
    out.push_back(bucket);
  }
  return out;
}

Histogram HistogramOf(std::span<const double> values) {
  Histogram histogram;
  if (values.empty()) return histogram;
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  histogram.low = *low;
  const size_t bins =
      *high > *low ? std::clamp<size_t>(static_cast<size_t>(std::ceil(std::sqrt(values.size()))), 1, kMostBins) : 1;
  histogram.bin_width = *high > *low ? (*high - *low) / static_cast<double>(bins) : 1;
  histogram.counts.assign(bins, 0);
  for (double value : values) {
    const auto bin = static_cast<size_t>((value - *low) / histogram.bin_width);
    ++histogram.counts[std::min(bin, bins - 1)];
  }
  return histogram;
}

std::string PassFigurePlot(std::string_view id, std::string_view title, std::string_view unit,
                           std::span<const PassFigure> values, const std::vector<bool>& failed) {
  const std::vector<PassBucket> buckets = BucketPasses(values);
  double high = 0;
  for (const PassBucket& bucket : buckets) high = std::max(high, bucket.max);
  const double passes = static_cast<double>(values.size());
  const svg::PlotArea area{kLeft, kTop, kRight, kBottom, passes > 1 ? 1.0 : 0.0, std::max(passes, 2.0), 0, TopOf(high)};
  std::string out = Open(id, title);
  svg::AxisLabels labels;
  labels.x_step = std::max(1.0, svg::NiceStep(passes, 10));
  labels.y_step = svg::NiceStep(area.y_max, 4);
  labels.y_decimals = DecimalsFor(labels.y_step);
  labels.y_title = std::string(unit);
  out += svg::Axes(area, labels);
  out += svg::Text((kLeft + kRight) / 2, kBottom + 34, "pass", 12, "middle");
  std::vector<svg::LinePoint> medians;
  const bool grouped = !buckets.empty() && buckets.front().last_pass > buckets.front().first_pass;
  for (const PassBucket& bucket : buckets) {
    const double x = static_cast<double>(bucket.first_pass + bucket.last_pass) / 2;
    medians.push_back({x, bucket.figures > 0 ? std::optional<double>(bucket.median) : std::nullopt});
  }
  std::vector<svg::LegendEntry> legend;
  if (grouped) {
    out += Bands(area, buckets);
    const std::string per = std::to_string(buckets.front().last_pass - buckets.front().first_pass + 1);
    legend.push_back({"min to max of " + per + " passes", kBandColour, "", true, 0.25});
    legend.push_back({"median of " + per + " passes", kMedianColour, ""});
  } else {
    legend.push_back({"each pass", kMedianColour, ""});
  }
  const std::string marks = FailureMarks(area, buckets, failed);
  if (!marks.empty()) legend.push_back({"failed pass", kFailureColour, "", true, 0.25});
  out += marks + svg::Line(area, medians, kMedianColour);
  return out + svg::Legend(kRight - svg::LegendWidth(legend), 22, legend) + "</svg>\n";
}

std::string HistogramPlot(std::string_view id, std::string_view title, std::string_view unit,
                          std::span<const double> values) {
  const Histogram histogram = HistogramOf(values);
  const size_t most =
      histogram.counts.empty() ? 0 : *std::max_element(histogram.counts.begin(), histogram.counts.end());
  const double bins = static_cast<double>(histogram.counts.size());
  const double high = histogram.low + histogram.bin_width * std::max(1.0, bins);
  const svg::PlotArea area{kLeft, kTop, kRight, kBottom, histogram.low, high, 0, TopOf(static_cast<double>(most))};
  std::string out = Open(id, title);
  svg::AxisLabels labels;
  labels.x_step = svg::NiceStep(high - histogram.low, 8);
  labels.x_decimals = DecimalsFor(labels.x_step);
  labels.y_step = std::max(1.0, svg::NiceStep(area.y_max, 4));
  labels.y_title = "passes";
  out += svg::Axes(area, labels);
  out += svg::Text((kLeft + kRight) / 2, kBottom + 34, unit, 12, "middle");
  for (size_t bin = 0; bin < histogram.counts.size(); ++bin) {
    const double from = histogram.low + histogram.bin_width * static_cast<double>(bin);
    out += svg::Rectangle(area, from, from + histogram.bin_width * 0.92, 0, static_cast<double>(histogram.counts[bin]),
                          kBarColour, 0.8, "bar");
  }
  return out + "</svg>\n";
}
