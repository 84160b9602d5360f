#include "TestKVE/html_report.h"

#include "TestKVE/report_plots.h"
#include "TestKVE/run_statistics.h"
#include "TestKVE/utf8_text.h"

namespace {

constexpr char kStyle[] = R"(
body { font-family: system-ui, sans-serif; margin: 2rem auto; max-width: 60rem; padding: 0 1rem; color: #222; }
h1 { font-size: 1.6rem; margin-bottom: .2rem; }
h2 { font-size: 1.2rem; margin-top: 2rem; border-bottom: 1px solid #ddd; }
.headline { font-size: 1.2rem; }
.failed { color: #b00020; font-weight: bold; }
.passed { color: #1b7837; font-weight: bold; }
.note, .warning { background: #fff4ce; border-left: 4px solid #f2c14e; padding: .4rem .8rem; }
table { border-collapse: collapse; margin: .5rem 0; }
th, td { border: 1px solid #ccc; padding: .25rem .6rem; text-align: left; vertical-align: top; }
th { background: #f3f3f3; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
table.facts td { font-family: ui-monospace, monospace; word-break: break-all; }
figure { margin: 1rem 0; }
td.output details + details { margin-top: .3rem; }
td.output pre { white-space: pre-wrap; overflow-wrap: anywhere; max-height: 24rem; overflow: auto; margin: .3rem 0; }
svg.plot { max-width: 100%; height: auto; border: 1px solid #eee; }
)";

std::string Cell(const char* tag, const std::string& text, bool numeric) {
  return std::string("<") + tag + (numeric ? " class=\"n\">" : ">") + HtmlEscaped(text) + "</" + tag + ">";
}

std::string Table(const TextTable& table, const char* id) {
  std::string out = std::string("<table id=\"") + id + "\">\n<thead><tr>";
  for (const std::string& name : table.header) out += Cell("th", name, false);
  out += "</tr></thead>\n<tbody>\n";
  for (const auto& row : table.rows) {
    out += "<tr>";
    for (size_t column = 0; column < row.size(); ++column)
      out += Cell("td", row[column], column < table.numeric.size() && table.numeric[column]);
    out += "</tr>\n";
  }
  return out + "</tbody>\n</table>\n";
}

// Text in a <pre>: as everywhere on the page, but line feeds and tabs stay, so the engine's
// lines read as it wrote them.
bool IsShownPreformatted(char32_t code) { return code == '\n' || code == '\t' || IsShownInMarkup(code); }
std::string PreformattedEscaped(std::string_view text) {
  return EscapedText(text, {IsShownPreformatted, MarkupEntity});
}

// One stream of a failed pass's engine output, folded away under its name and size.
std::string OutputDetails(const char* name, const std::string& kept, uint64_t written) {
  std::string summary = std::string(name) + ", " + std::to_string(written) + " bytes";
  if (kept.size() < written) summary += " (the last " + std::to_string(kept.size()) + ")";
  return "<details><summary>" + HtmlEscaped(summary) + "</summary><pre>" + PreformattedEscaped(kept) +
         "</pre></details>";
}

std::string OutputCell(const PassRecord& pass) {
  if (!pass.output) return "<td class=\"output\"></td>";
  return "<td class=\"output\">" + OutputDetails("standard output", pass.output->output, pass.output->output_bytes) +
         OutputDetails("standard error", pass.output->error, pass.output->error_bytes) + "</td>";
}

// The failure table, with the engine's output of each pass in a last column when it was kept.
std::string FailureTableHtml(const RunReport& report) {
  TextTable table = FailureTable(report);
  const std::vector<const PassRecord*> listed = ListedFailures(report);
  bool any_output = false;
  for (const PassRecord* pass : listed) any_output = any_output || pass->output.has_value();
  if (!any_output) return Table(table, "failure-table");
  std::string out = "<table id=\"failure-table\">\n<thead><tr>";
  for (const std::string& name : table.header) out += Cell("th", name, false);
  out += Cell("th", "Engine output", false) + "</tr></thead>\n<tbody>\n";
  for (size_t row = 0; row < table.rows.size(); ++row) {
    out += "<tr>";
    for (size_t column = 0; column < table.rows[row].size(); ++column)
      out += Cell("td", table.rows[row][column], table.numeric[column]);
    out += OutputCell(*listed[row]) + "</tr>\n";
  }
  return out + "</tbody>\n</table>\n";
}

std::string RunSection(const RunReport& report) {
  std::string out = "<section id=\"run\">\n<h2>Run</h2>\n<table class=\"facts\">\n";
  for (const auto& [label, value] : RunFacts(report))
    out += "<tr><th>" + HtmlEscaped(label) + "</th><td>" + HtmlEscaped(value) + "</td></tr>\n";
  return out + "</table>\n</section>\n";
}

std::string SummarySection(const RunReport& report) {
  const size_t failures = FailureCount(report.passes);
  std::string out = "<section id=\"summary\">\n<h2>Summary</h2>\n<p class=\"headline\"><span id=\"pass-count\">" +
                    std::to_string(report.passes.size()) + "</span> " +
                    (report.passes.size() == 1 ? "pass" : "passes") + ", <span id=\"failure-count\" class=\"" +
                    (failures == 0 ? "passed" : "failed") + "\">" + std::to_string(failures) + "</span> failed" +
                    HtmlEscaped(WarmUpNote(report)) + "</p>\n";
  if (const std::string note = InterruptionNote(report); !note.empty())
    out += "<p class=\"note\" id=\"interrupted\">" + HtmlEscaped(note) + "</p>\n";
  out += Table(ResultTable(report), "results");
  if (!report.passes.empty()) out += Table(FigureTable(report), "figures");
  if (const std::string warning = GrowthWarning(report); !warning.empty())
    out += "<p class=\"warning\" id=\"growth-warning\">" + HtmlEscaped(warning) + "</p>\n";
  if (const std::string note = OutlierNote(report); !note.empty())
    out += "<p class=\"warning\" id=\"outlier-warning\">" + HtmlEscaped(note) + "</p>\n";
  return out + "</section>\n";
}

std::string Figure(const std::string& svg, const std::string& caption) {
  return "<figure>\n" + svg + "<figcaption>" + HtmlEscaped(caption) + "</figcaption>\n</figure>\n";
}

std::string PlotSection(const RunReport& report) {
  std::string out = "<section id=\"plots\">\n<h2>Plots</h2>\n";
  if (report.passes.empty()) out += "<p>No pass ran.</p>\n";
  const std::vector<PassFigure> wall = WallTimes(report.passes), peak = PeakKiB(report.passes);
  std::vector<bool> failed;
  for (const PassRecord& pass : report.passes) failed.push_back(pass.failed());
  if (!report.passes.empty()) {
    out += Figure(PassFigurePlot("wall-time-plot", "Engine wall time per pass", "ms", wall, failed),
                  "Wall time from the engine's start to its end, as each pass record has it; failed passes "
                  "shaded red (a pass whose preparation failed has no figure: the line breaks there).");
    out += Figure(PassFigurePlot("peak-memory-plot", "Engine peak memory per pass", "KiB", peak, failed),
                  "The engine's peak resident memory, from the kernel's accounting of the engine process; failed "
                  "passes shaded red (a pass whose preparation failed has no figure).");
    std::vector<double> ran_wall;
    for (const PassRecord& pass : report.passes)
      if (pass.ran()) ran_wall.push_back(pass.wall_ms);
    out += Figure(HistogramPlot("wall-time-histogram", "Wall time histogram", "ms", ran_wall),
                  "How many passes took how long (passes whose engine ran).");
  }
  if (report.monitor) {
    out += Figure(RunChartSvgElement(*report.monitor),
                  "The performance monitor's samples, once a second: the machine's processor and committed "
                  "memory, and the engine process's own processor, resident memory and I/O; engine runs shaded.");
  }
  return out + "</section>\n";
}

std::string FailureSection(const RunReport& report) {
  const size_t failures = FailureCount(report.passes);
  std::string out = "<section id=\"failures\">\n<h2>Failed passes</h2>\n";
  if (failures == 0) return out + "<p>None.</p>\n</section>\n";
  const size_t listed = ListedFailures(report).size();
  out += FailureTableHtml(report);
  if (failures > listed)
    out +=
        "<p id=\"more-failures\">\xE2\x80\xA6 and " + std::to_string(failures - listed) + " more failed passes.</p>\n";
  return out + "</section>\n";
}

}  // namespace

std::string HtmlEscaped(std::string_view text) { return EscapedText(text, {IsShownInMarkup, MarkupEntity}); }

std::string HtmlReport(const RunReport& report) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>TestKVE run report: " +
         HtmlEscaped(Headline(report)) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n" +
         "<h1>TestKVE run report</h1>\n" + SummarySection(report) + RunSection(report) + PlotSection(report) +
         FailureSection(report) + "</body>\n</html>\n";
}
