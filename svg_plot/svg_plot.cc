#include "svg_plot/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace svg {
namespace {

double Fraction(double value, double min, double max) {
  if (!(max > min)) return 0;
  return std::clamp((value - min) / (max - min), 0.0, 1.0);
}

std::string Attribute(std::string_view name, const std::string& value) {
  return " " + std::string(name) + "=\"" + value + "\"";
}

std::string Point(const PlotArea& area, double x, double y) { return Number(area.X(x)) + "," + Number(area.Y(y)); }

}  // namespace

double PlotArea::X(double x) const { return left + (right - left) * Fraction(x, x_min, x_max); }

double PlotArea::Y(double y) const { return bottom - (bottom - top) * Fraction(y, y_min, y_max); }

double NiceStep(double range, int steps) {
  if (!(range > 0) || steps < 1) return 1;
  const double rough = range / steps;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double multiple : {1.0, 2.0, 5.0}) {
    if (multiple * power >= rough) return multiple * power;
  }
  return 10 * power;
}

double NiceCeiling(double value, int steps) {
  if (!(value > 0)) return 1;
  const double step = NiceStep(value, steps);
  return std::ceil(value / step - 1e-9) * step;
}

std::string Number(double value, int decimals) {
  if (value == 0) value = 0;  // no "-0"
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string TextEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
  }
  return out;
}

std::string Text(double x, double y, std::string_view text, int font_size, std::string_view anchor) {
  return "<text" + Attribute("x", Number(x)) + Attribute("y", Number(y)) +
         Attribute("font-size", std::to_string(font_size)) + Attribute("text-anchor", std::string(anchor)) + ">" +
         TextEscaped(text) + "</text>\n";
}

std::string Axes(const PlotArea& area, const AxisLabels& labels) {
  std::string out = "<g stroke=\"#888\" stroke-width=\"1\" fill=\"#333\">\n";
  // A step that would draw thousands of lines is a caller's mistake; one line per 2 units at most.
  const double y_step = std::max(labels.y_step, (area.y_max - area.y_min) * 2 / std::max(1.0, area.bottom - area.top));
  for (double y = area.y_min; y <= area.y_max + y_step * 1e-6; y += y_step) {
    const std::string at = Number(area.Y(y));
    out += "<line x1=\"" + Number(area.left) + "\" y1=\"" + at + "\" x2=\"" + Number(area.right) + "\" y2=\"" + at +
           "\" stroke-dasharray=\"2,4\"/>\n";
    out += "<text x=\"" + Number(area.left - 6) + "\" y=\"" + Number(area.Y(y) + 4) +
           "\" font-size=\"11\" text-anchor=\"end\" stroke=\"none\">" + Number(y, labels.y_decimals) +
           TextEscaped(labels.y_unit) + "</text>\n";
  }
  const double x_step = std::max(labels.x_step, (area.x_max - area.x_min) * 2 / std::max(1.0, area.right - area.left));
  const double x_first = std::ceil(area.x_min / x_step - 1e-9) * x_step;
  for (double x = x_first; x <= area.x_max + x_step * 1e-6; x += x_step) {
    out += "<text x=\"" + Number(area.X(x)) + "\" y=\"" + Number(area.bottom + 15) +
           "\" font-size=\"11\" text-anchor=\"middle\" stroke=\"none\">" + Number(x, labels.x_decimals) +
           TextEscaped(labels.x_unit) + "</text>\n";
  }
  if (!labels.y_title.empty()) {
    out += "<text x=\"" + Number(area.left) + "\" y=\"" + Number(area.top - 6) +
           "\" font-size=\"12\" stroke=\"none\">" + TextEscaped(labels.y_title) + "</text>\n";
  }
  out += "<rect x=\"" + Number(area.left) + "\" y=\"" + Number(area.top) + "\" width=\"" +
         Number(area.right - area.left) + "\" height=\"" + Number(area.bottom - area.top) + "\" fill=\"none\"/>\n";
  return out + "</g>\n";
}

std::string Line(const PlotArea& area, std::span<const LinePoint> points, std::string_view colour,
                 std::string_view dash) {
  std::string out, stretch;
  size_t count = 0;
  double last_x = 0, last_y = 0;
  const std::string dash_attribute = dash.empty() ? "" : Attribute("stroke-dasharray", std::string(dash));
  auto flush = [&] {
    if (count == 1) {
      out += "<circle cx=\"" + Number(area.X(last_x)) + "\" cy=\"" + Number(area.Y(last_y)) + "\" r=\"2.5\" fill=\"" +
             std::string(colour) + "\"/>\n";
    } else if (count > 1) {
      out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\"" + dash_attribute +
             " points=\"" + stretch + "\"/>\n";
    }
    stretch.clear();
    count = 0;
  };
  for (const LinePoint& point : points) {
    if (!point.y) {
      flush();
      continue;
    }
    if (count++ > 0) stretch += ' ';
    stretch += Point(area, point.x, *point.y);
    last_x = point.x;
    last_y = *point.y;
  }
  flush();
  return out;
}

std::string Band(const PlotArea& area, std::span<const double> x, std::span<const double> low,
                 std::span<const double> high, std::string_view colour, double opacity) {
  const size_t count = std::min({x.size(), low.size(), high.size()});
  if (count == 0) return "";
  std::string points;
  for (size_t i = 0; i < count; ++i) points += Point(area, x[i], high[i]) + " ";
  for (size_t i = count; i-- > 0;) points += Point(area, x[i], low[i]) + (i > 0 ? " " : "");
  return "<polygon class=\"band\" fill=\"" + std::string(colour) + "\" fill-opacity=\"" + Number(opacity, 2) +
         "\" stroke=\"" + std::string(colour) + "\" stroke-opacity=\"" + Number(opacity, 2) +
         "\" stroke-width=\"1\" points=\"" + points + "\"/>\n";
}

std::string Rectangle(const PlotArea& area, double x0, double x1, double y0, double y1, std::string_view colour,
                      double opacity, std::string_view css_class) {
  const double left = area.X(std::min(x0, x1)), right = area.X(std::max(x0, x1));
  const double top = area.Y(std::max(y0, y1)), bottom = area.Y(std::min(y0, y1));
  const std::string class_attribute = css_class.empty() ? "" : Attribute("class", std::string(css_class));
  return "<rect" + class_attribute + Attribute("x", Number(left)) + Attribute("y", Number(top)) +
         Attribute("width", Number(std::max(1.0, right - left))) + Attribute("height", Number(bottom - top)) +
         Attribute("fill", std::string(colour)) + Attribute("fill-opacity", Number(opacity, 2)) + "/>\n";
}

double LegendWidth(std::span<const LegendEntry> entries) {
  double width = 0;
  // About the width of a label in a 12-unit sans-serif face.
  for (const LegendEntry& entry : entries) width += 19 + 6.5 * static_cast<double>(entry.label.size()) + 18;
  return width - (entries.empty() ? 0 : 18);
}

std::string Legend(double x, double y, std::span<const LegendEntry> entries) {
  std::string out = "<g font-size=\"12\">\n";
  for (const LegendEntry& entry : entries) {
    if (entry.filled) {
      out += "<rect x=\"" + Number(x) + "\" y=\"" + Number(y - 9) + "\" width=\"14\" height=\"10\" fill=\"" +
             entry.colour + "\" fill-opacity=\"" + Number(entry.opacity, 2) + "\"/>";
    } else {
      const std::string dash = entry.dash.empty() ? "" : Attribute("stroke-dasharray", entry.dash);
      out += "<line x1=\"" + Number(x) + "\" y1=\"" + Number(y - 4) + "\" x2=\"" + Number(x + 14) + "\" y2=\"" +
             Number(y - 4) + "\" stroke=\"" + entry.colour + "\" stroke-width=\"3\"" + dash + "/>";
    }
    out += "<text x=\"" + Number(x + 19) + "\" y=\"" + Number(y) + "\">" + TextEscaped(entry.label) + "</text>\n";
    x += LegendWidth({&entry, 1}) + 18;
  }
  return out + "</g>\n";
}

}  // namespace svg
