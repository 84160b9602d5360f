#include "run_compare/comparison_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "svg_plot/svg_plot.h"

namespace compare {
namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Value(double value, Figure figure) {
  return Format(figure == Figure::kPeak ? "%.0f " : "%.1f ", value) + std::string(FigureUnit(figure));
}

std::string Confidence(const Comparison& comparison) { return Format("%.0f %%", (1 - comparison.level) * 100); }

std::string Method(const Comparison& comparison) {
  if (comparison.paired) {
    return std::to_string(comparison.runs_a) + " pairs, Wilcoxon signed-rank test";
  }
  return std::to_string(comparison.runs_a) + " and " + std::to_string(comparison.runs_b) + " runs, Mann-Whitney U test";
}

// The columns every form shows for a figure: B/A, its interval, p, and the verdict.
struct FigureCells {
  std::string ratio = "n/a", interval = "n/a", p = "n/a", verdict = "too few runs";
};

FigureCells CellsOf(const FigureComparison& figure) {
  FigureCells cells;
  if (!figure.shift) return cells;
  cells.p = Format("%.4f", figure.shift->p_value);
  cells.verdict = figure.significant ? "significant" : "not significant";
  if (!figure.ratio) return cells;
  cells.ratio = Format("%.3f", *figure.ratio);
  cells.interval = Format("%.3f", *figure.ratio_low) + " to " + Format("%.3f", *figure.ratio_high);
  return cells;
}

std::string Rate(uint32_t failed, uint32_t runs, double rate) {
  return std::to_string(failed) + " of " + std::to_string(runs) + Format(" (%.1f %%)", rate);
}

std::string OnlyList(const std::vector<std::pair<std::string, uint32_t>>& only) {
  std::string list;
  for (const auto& [name, count] : only) list += (list.empty() ? "" : ", ") + name + " (" + std::to_string(count) + ")";
  return list;
}

std::string Growth(const std::optional<double>& growth) { return growth ? Format("%+.1f %%", *growth) : "n/a"; }

// The lines after the figures that every form shows: result codes on one side only, growth.
std::vector<std::string> NoteLines(const Comparison& comparison) {
  std::vector<std::string> lines;
  if (!comparison.only_a.empty()) lines.push_back("results on A only: " + OnlyList(comparison.only_a));
  if (!comparison.only_b.empty()) lines.push_back("results on B only: " + OnlyList(comparison.only_b));
  lines.push_back("peak memory growth over the runs: A " + Growth(comparison.peak_growth_a) + ", B " +
                  Growth(comparison.peak_growth_b));
  return lines;
}

std::string FailureVerdict(const FailureComparison& failures) {
  return failures.significant ? "significant" : "not significant";
}

std::string HtmlEscaped(std::string_view text) { return svg::TextEscaped(text); }

constexpr char kColourA[] = "#00798c";
constexpr char kColourB[] = "#d1495b";

// The share of a side's runs at or below each of its values, as a line.
std::vector<svg::LinePoint> CumulativeShare(const std::vector<double>& values) {
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  std::vector<svg::LinePoint> points;
  for (size_t i = 0; i < sorted.size(); ++i) {
    points.push_back({sorted[i], 100.0 * static_cast<double>(i) / static_cast<double>(sorted.size())});
    points.push_back({sorted[i], 100.0 * static_cast<double>(i + 1) / static_cast<double>(sorted.size())});
  }
  return points;
}

std::string DistributionPlot(Figure figure, const SideRuns& a, const SideRuns& b) {
  const std::vector<double>& values_a = FigureValues(a, figure);
  const std::vector<double>& values_b = FigureValues(b, figure);
  double low = 0, high = 1;
  for (const std::vector<double>* values : {&values_a, &values_b}) {
    if (values->empty()) continue;
    high = std::max(high, *std::max_element(values->begin(), values->end()));
  }
  high = svg::NiceCeiling(high * 1.05, 6);
  const svg::PlotArea area{80, 40, 870, 260, low, high, 0, 100};
  const std::string title = std::string(FigureTitle(figure)) + ": share of runs at or below";
  std::string out =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot\" width=\"900\" height=\"300\" viewBox=\"0 0 900 300\" "
      "font-family=\"sans-serif\" role=\"img\">\n<title>" +
      HtmlEscaped(title) + "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" +
      svg::Text(80, 22, title, 15);
  svg::AxisLabels labels;
  labels.x_step = svg::NiceStep(high - low, 8);
  labels.x_decimals = labels.x_step >= 1 ? 0 : 1;
  labels.y_step = 25;
  labels.y_unit = "%";
  out += svg::Axes(area, labels);
  out += svg::Text(475, 294, FigureUnit(figure), 12, "middle");
  out += svg::Line(area, CumulativeShare(values_a), kColourA);
  out += svg::Line(area, CumulativeShare(values_b), kColourB, "6 3");
  const std::vector<svg::LegendEntry> legend = {{"A", kColourA, ""}, {"B", kColourB, "6 3"}};
  return out + svg::Legend(870 - svg::LegendWidth(legend), 22, legend) + "</svg>\n";
}

}  // namespace

std::string ComparisonText(const Comparison& comparison) {
  std::string text = "Comparison of B (" + comparison.label_b + ") with A (" + comparison.label_a +
                     "): " + Method(comparison) + ", level " + Format("%g", comparison.level) + "\n";
  for (const FigureComparison& figure : comparison.figures) {
    const FigureCells cells = CellsOf(figure);
    text += "  " + std::string(FigureTitle(figure.figure)) + ": A median " + Value(figure.median_a, figure.figure) +
            ", B median " + Value(figure.median_b, figure.figure) + "; B/A " + cells.ratio + " (" +
            Confidence(comparison) + " CI " + cells.interval + "), p = " + cells.p + ", " + cells.verdict + "\n";
  }
  const FailureComparison& failures = comparison.failures;
  text += "  failures: A " + Rate(failures.failed_a, failures.runs_a, failures.RateA()) + ", B " +
          Rate(failures.failed_b, failures.runs_b, failures.RateB()) +
          "; Fisher's exact p = " + Format("%.4f", failures.p_value) + ", " + FailureVerdict(failures) + "\n";
  for (const std::string& line : NoteLines(comparison)) text += "  " + line + "\n";
  return text;
}

std::string ComparisonMarkdown(const Comparison& comparison) {
  std::string text = "## Comparison of B with A\n\nA: `" + comparison.label_a + "`  \nB: `" + comparison.label_b +
                     "`  \n" + Method(comparison) + ", level " + Format("%g", comparison.level) + "\n\n";
  text += "| Figure | A median | B median | B/A | " + Confidence(comparison) + " CI | p | Verdict |\n";
  text += "|---|---:|---:|---:|---:|---:|---|\n";
  for (const FigureComparison& figure : comparison.figures) {
    const FigureCells cells = CellsOf(figure);
    text += "| " + std::string(FigureTitle(figure.figure)) + " | " + Value(figure.median_a, figure.figure) + " | " +
            Value(figure.median_b, figure.figure) + " | " + cells.ratio + " | " + cells.interval + " | " + cells.p +
            " | " + cells.verdict + " |\n";
  }
  const FailureComparison& failures = comparison.failures;
  text += "| failures | " + Rate(failures.failed_a, failures.runs_a, failures.RateA()) + " | " +
          Rate(failures.failed_b, failures.runs_b, failures.RateB()) + " | | | " + Format("%.4f", failures.p_value) +
          " | " + FailureVerdict(failures) + " (Fisher's exact) |\n\n";
  for (const std::string& line : NoteLines(comparison)) text += "- " + line + "\n";
  return text;
}

std::string ComparisonHtml(const Comparison& comparison, const SideRuns& a, const SideRuns& b) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>TestKVE comparison</title>\n"
      "<style>body{font-family:system-ui,sans-serif;margin:2rem auto;max-width:60rem;padding:0 1rem}"
      "table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:.25rem .6rem}td.n{text-align:right}"
      "svg.plot{max-width:100%;height:auto}</style>\n</head>\n<body>\n<h1>Comparison of B with A</h1>\n<p>A: <code>" +
      HtmlEscaped(comparison.label_a) + "</code><br>B: <code>" + HtmlEscaped(comparison.label_b) + "</code><br>" +
      HtmlEscaped(Method(comparison)) + ", level " + Format("%g", comparison.level) + "</p>\n";
  page += "<table id=\"comparison\">\n<tr><th>Figure</th><th>A median</th><th>B median</th><th>B/A</th><th>" +
          HtmlEscaped(Confidence(comparison)) + " CI</th><th>p</th><th>Verdict</th></tr>\n";
  for (const FigureComparison& figure : comparison.figures) {
    const FigureCells cells = CellsOf(figure);
    page += "<tr><td>" + std::string(FigureTitle(figure.figure)) + "</td><td class=\"n\">" +
            Value(figure.median_a, figure.figure) + "</td><td class=\"n\">" + Value(figure.median_b, figure.figure) +
            "</td><td class=\"n\">" + cells.ratio + "</td><td class=\"n\">" + cells.interval + "</td><td class=\"n\">" +
            cells.p + "</td><td>" + cells.verdict + "</td></tr>\n";
  }
  const FailureComparison& failures = comparison.failures;
  page += "<tr><td>failures</td><td class=\"n\">" + Rate(failures.failed_a, failures.runs_a, failures.RateA()) +
          "</td><td class=\"n\">" + Rate(failures.failed_b, failures.runs_b, failures.RateB()) +
          "</td><td></td><td></td><td class=\"n\">" + Format("%.4f", failures.p_value) + "</td><td>" +
          FailureVerdict(failures) + " (Fisher's exact)</td></tr>\n</table>\n<ul>\n";
  for (const std::string& line : NoteLines(comparison)) page += "<li>" + HtmlEscaped(line) + "</li>\n";
  page += "</ul>\n";
  for (Figure figure : kFigures) page += "<figure>\n" + DistributionPlot(figure, a, b) + "</figure>\n";
  return page + "</body>\n</html>\n";
}

}  // namespace compare
