// Drawing plots as SVG text: a plot area with its scales, round tick steps, axes with grid
// lines, lines that break at missing values, bands, bars and legends. Shared by the monitor's
// picture and the run report; every function returns SVG elements as text and draws nothing
// itself. No scripts and no outside references, so the output is safe inline in a page.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace svg {

/// A rectangle of the picture (in picture units) and the ranges of values it shows.
struct PlotArea {
  double left = 0, top = 0, right = 0, bottom = 0;
  double x_min = 0, x_max = 1, y_min = 0, y_max = 1;

  /// Picture coordinates of a value, clamped to the area.
  double X(double x) const;
  double Y(double y) const;
};

/// A round step (1, 2 or 5 times a power of ten) that divides `range` into about `steps`.
double NiceStep(double range, int steps);

/// The smallest multiple of NiceStep(value, steps) that is at least `value` (1 for 0 or less).
double NiceCeiling(double value, int steps);

/// `value` with `decimals` decimals, the form used for coordinates and labels.
std::string Number(double value, int decimals = 1);

/// `text` as SVG character data or attribute value: markup characters as entities, every byte
/// outside printable ASCII as '?', so the result is valid whatever bytes it is given.
std::string TextEscaped(std::string_view text);

/// How the axes of an area are labelled.
struct AxisLabels {
  double x_step = 1;   ///< distance between x ticks, in x units
  double y_step = 1;   ///< distance between y ticks (grid lines), in y units
  std::string x_unit;  ///< appended to each x label (" s")
  std::string y_unit;  ///< appended to each y label ("%")
  int x_decimals = 0, y_decimals = 0;
  std::string y_title;  ///< above the y axis, may be empty
};

/// The frame of `area`, its dashed horizontal grid lines with labels on the left, and the x
/// labels below it.
std::string Axes(const PlotArea& area, const AxisLabels& labels);

/// One point of a line; a point without y breaks the line there.
struct LinePoint {
  double x = 0;
  std::optional<double> y;
};

/// The stretches of `points` that have values, each as a polyline; `dash` is an SVG dash
/// array or empty. A stretch of one point is drawn as a dot.
std::string Line(const PlotArea& area, std::span<const LinePoint> points, std::string_view colour,
                 std::string_view dash = {});

/// The filled band between `low` and `high` over `x` (all of one size), as one polygon.
std::string Band(const PlotArea& area, std::span<const double> x, std::span<const double> low,
                 std::span<const double> high, std::string_view colour, double opacity);

/// A filled rectangle over x from `x0` to `x1` and y from `y0` to `y1`, at least one unit wide;
/// `css_class` may be empty.
std::string Rectangle(const PlotArea& area, double x0, double x1, double y0, double y1, std::string_view colour,
                      double opacity, std::string_view css_class = {});

/// One entry of a legend: a line (`dash` as in Line) or, with `filled`, a swatch.
struct LegendEntry {
  std::string label;
  std::string colour;
  std::string dash;
  bool filled = false;
  double opacity = 1;
};

/// About how wide Legend draws `entries`, for placing it.
double LegendWidth(std::span<const LegendEntry> entries);

/// The entries in a row from (`x`, `y`), left to right.
std::string Legend(double x, double y, std::span<const LegendEntry> entries);

/// A text at (`x`, `y`); `anchor` is "start", "middle" or "end".
std::string Text(double x, double y, std::string_view text, int font_size, std::string_view anchor = "start");

}  // namespace svg
