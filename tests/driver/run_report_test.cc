// The run report pages from the run's records: statistics, grouping of passes for the plots,
// escaping of every text that came from outside, the page's parts for one pass, for a run
// that failed throughout and for a stopped run, and the Markdown as GitHub renders it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "TestKVE/html_report.h"
#include "TestKVE/markdown_report.h"
#include "TestKVE/markdown_text.h"
#include "TestKVE/report_plots.h"
#include "TestKVE/run_report.h"
#include "TestKVE/run_statistics.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

// Text from outside that must stay text: markup, quotes, bytes that are not UTF-8, control
// characters (C0, DEL, C1) and a noncharacter.
const std::string kHostile = "<script>alert(\"x'y\")</script>&amp;|*_`[a](b)\xff\xfe\x01\n\x7f\xc2\x85\xef\xbf\xbf";

PassRecord Pass(uint32_t number, double wall_ms, uint64_t peak_kib, VXRResult result = VXR_LIB_SUCCESS,
                std::string result_name = "VXR_LIB_SUCCESS") {
  PassRecord pass;
  pass.number = number;
  pass.wall_ms = wall_ms;
  pass.user_ms = wall_ms / 2;
  pass.peak_kib = peak_kib;
  pass.result = result;
  pass.result_name = std::move(result_name);
  return pass;
}

RunReport ReportOf(const std::vector<PassRecord>& passes) {
  RunReport report;
  report.run.harness_version = "5.0-1105";
  report.run.command_line = "testkve /RUN=" + std::to_string(passes.size());
  report.run.engine_path = "./vxr.exe";
  report.run.engine_version = "3.5";
  report.run.start_unix_ms = 1'765'000'000'000;
  report.end_unix_ms = report.run.start_unix_ms + 60'000;
  report.run.host_name = "ci-runner";
  report.passes = passes;
  return report;
}

TEST(RunStatisticsTest, MinMedianMeanDeviationMax) {
  struct Case {
    std::vector<double> values;
    Statistics expected;
  };
  const Case cases[] = {
      {{7}, {1, 7, 7, 7, 0, 7}},
      {{4, 1, 3, 2}, {4, 1, 2.5, 2.5, std::sqrt(5.0 / 3), 4}},
      {{2, 4, 4, 4, 5, 5, 7, 9}, {8, 2, 4.5, 5, std::sqrt(32.0 / 7), 9}},
      {{-1, 10, 1}, {3, -1, 1, 10.0 / 3, std::sqrt((169.0 + 400 + 49) / 9 / 2), 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values.size());
    const std::optional<Statistics> s = StatisticsOf(c.values);
    ASSERT_TRUE(s);
    EXPECT_EQ(c.expected.count, s->count);
    EXPECT_DOUBLE_EQ(c.expected.min, s->min);
    EXPECT_DOUBLE_EQ(c.expected.median, s->median);
    EXPECT_DOUBLE_EQ(c.expected.mean, s->mean);
    EXPECT_NEAR(c.expected.standard_deviation, s->standard_deviation, 1e-12);
    EXPECT_DOUBLE_EQ(c.expected.max, s->max);
  }
  EXPECT_FALSE(StatisticsOf({}));
}

TEST(ReportPlotsTest, ManyPassesAreGroupedIntoRangesWithTheirMedian) {
  std::vector<PassFigure> values;
  for (int i = 1; i <= 20000; ++i) values.push_back(i % 7 == 0 ? 1000 : i % 100);
  const std::vector<PassBucket> buckets = BucketPasses(values);
  ASSERT_LE(buckets.size(), kPlotBuckets);
  EXPECT_EQ(1u, buckets.front().first_pass);
  EXPECT_EQ(20000u, buckets.back().last_pass);
  for (size_t i = 1; i < buckets.size(); ++i) EXPECT_EQ(buckets[i - 1].last_pass + 1, buckets[i].first_pass);
  // Passes 1 to 67: 1..67 with every seventh at 1000.
  EXPECT_EQ(67u, buckets.front().last_pass);
  EXPECT_EQ(1, buckets.front().min);
  EXPECT_EQ(1000, buckets.front().max);
  EXPECT_EQ(39, buckets.front().median);  // the 34th of 58 values of 1..67 without multiples of 7 and nine of 1000
  // Few passes: one group each.
  const std::vector<PassFigure> three = {5, 1, 9};
  const std::vector<PassBucket> each = BucketPasses(three);
  ASSERT_EQ(3u, each.size());
  EXPECT_EQ(9, each[2].median);
  EXPECT_EQ(9, each[2].min);
}

// A pass whose engine did not run has no figure: it is no point at 0, and a group of such
// passes leaves a gap in the line and in the band.
TEST(ReportPlotsTest, APassWithoutAFigureIsNoPoint) {
  const std::vector<PassFigure> some = {5, std::nullopt, 9, std::nullopt};
  const std::vector<PassBucket> each = BucketPasses(some, 2);
  ASSERT_EQ(2u, each.size());
  EXPECT_EQ(1u, each[0].figures);
  EXPECT_EQ(5, each[0].min);
  const std::vector<PassBucket> none = BucketPasses(std::vector<PassFigure>{std::nullopt, std::nullopt, 7}, 3);
  EXPECT_EQ(0u, none[0].figures);
  EXPECT_EQ(1u, none[2].figures);
  // Each pass a point: the line breaks around pass 2, so passes 1 and 3 are dots of their own.
  const std::string plot = PassFigurePlot("p", "t", "ms", some, {false, true, false, true});
  EXPECT_EQ(0u, CountOf(plot, "<polyline")) << plot;
  EXPECT_EQ(2u, CountOf(plot, "<circle")) << plot;
  EXPECT_EQ(2u, CountOf(plot, "class=\"failed-pass\""));
  // Grouped: the band stops at a group of passes that did not run and starts again after it.
  std::vector<PassFigure> many(900, 4.0);
  for (size_t pass = 300; pass < 303; ++pass) many[pass] = std::nullopt;
  const std::string grouped = PassFigurePlot("g", "t", "ms", many);
  EXPECT_EQ(2u, CountOf(grouped, "<polygon")) << grouped;
  EXPECT_EQ(2u, CountOf(grouped, "<polyline")) << grouped;
}

TEST(ReportPlotsTest, HistogramCountsEveryValueOnce) {
  std::vector<double> values;
  for (int i = 0; i < 100; ++i) values.push_back(i * 0.5);
  const Histogram histogram = HistogramOf(values);
  EXPECT_EQ(10u, histogram.counts.size());
  size_t total = 0;
  for (size_t count : histogram.counts) total += count;
  EXPECT_EQ(100u, total);
  EXPECT_EQ(10u, histogram.counts.back());  // the largest value lands in the last bin
  const std::vector<double> same = {3, 3, 3};
  EXPECT_EQ(std::vector<size_t>{3}, HistogramOf(same).counts);
  EXPECT_TRUE(HistogramOf({}).counts.empty());
}

TEST(ReportEscapingTest, OutsideTextNeverBecomesMarkup) {
  const std::string html = HtmlEscaped(kHostile);
  EXPECT_EQ(
      "&lt;script&gt;alert(&quot;x&apos;y&quot;)&lt;/script&gt;&amp;amp;|*_`[a](b)\\xFF\\xFE\\x01\\x0A\\x7F\\xC2\\x85"
      "\\xEF\\xBF\\xBF",
      html);
  const std::string markdown = MarkdownEscaped(kHostile);
  EXPECT_EQ(
      "\\<script>alert(\"x'y\")\\</script>\\&amp;\\|\\*\\_\\`\\[a](b)\\xFF\\xFE\\x01\\x0A\\x7F"
      "\\xC2\\x85\\xEF\\xBF\\xBF",
      markdown);
  EXPECT_EQ("caf\xc3\xa9 \xe2\x9c\x93", HtmlEscaped("caf\xc3\xa9 \xe2\x9c\x93"));  // UTF-8 as it is
}

TEST(HtmlReportTest, HostileEngineNameMessageAndOptionValueStayText) {
  std::vector<PassRecord> passes = {Pass(1, 10, 100, 0x1, kHostile)};
  passes[0].pattern_names = {kHostile};
  RunReport report = ReportOf(passes);
  report.run.engine_path = kHostile;
  report.run.command_line = "testkve /REPORT=" + kHostile;
  report.run.engine_build = kHostile;
  report.run.host_name = kHostile;
  report.monitor = RunChart{kHostile, 1.5, {{0, 10, 20, -999, std::nullopt}}, {{100, 1600}}};
  const std::string page = HtmlReport(report);
  EXPECT_EQ(0u, CountOf(page, "<script"));
  EXPECT_EQ(0u, CountOf(page, "\xff"));
  EXPECT_EQ(0u, CountOf(page, "\x01"));
  EXPECT_GE(CountOf(page, "&lt;script&gt;alert(&quot;x&apos;y&quot;)"), 4u);
  const std::string markdown = MarkdownReport(report);
  EXPECT_EQ(CountOf(markdown, "<"), CountOf(markdown, "\\<"));  // every one behind a backslash
  EXPECT_NE(std::string::npos, markdown.find("\\x0A"));         // the line feed as text
}

TEST(HtmlReportTest, OnePassShowsItsFiguresAndEveryPlot) {
  const std::vector<PassRecord> passes = {Pass(1, 12.5, 2048)};
  const std::string page = HtmlReport(ReportOf(passes));
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n"));
  EXPECT_NE(std::string::npos, page.find("<span id=\"pass-count\">1</span> pass, "));
  EXPECT_NE(std::string::npos, page.find("<span id=\"failure-count\" class=\"passed\">0</span> failed"));
  EXPECT_EQ(3u, CountOf(page, "<svg "));
  EXPECT_EQ(2u, CountOf(page, "<circle"));  // the one pass is a dot in both plots, not an invisible line
  EXPECT_NE(std::string::npos, page.find("<td class=\"n\">12.5 \xC2\xB1 0.0</td>"));
  EXPECT_NE(std::string::npos, page.find("<h2>Failed passes</h2>\n<p>None.</p>"));
  EXPECT_EQ(0u, CountOf(page, "http://") - CountOf(page, "xmlns=\"http://www.w3.org/2000/svg\""));
  EXPECT_EQ(0u, CountOf(page, "https://"));
}

TEST(HtmlReportTest, EveryPassFailedListsTheFirstHundredAndCountsTheRest) {
  std::vector<PassRecord> passes;
  for (uint32_t i = 1; i <= 130; ++i) passes.push_back(Pass(i, i, 1000 + i, 0xFFFFFFA5, "VXR_RET_REBOOT_MACHINE"));
  passes[2].timed_out = true;
  const std::string page = HtmlReport(ReportOf(passes));
  EXPECT_NE(std::string::npos, page.find("<span id=\"failure-count\" class=\"failed\">130</span> failed"));
  const size_t table = page.find("<table id=\"failure-table\">");
  ASSERT_NE(std::string::npos, table);
  EXPECT_EQ(101u, CountOf(page.substr(table, page.find("</table>", table) - table), "<tr>"));
  EXPECT_NE(std::string::npos, page.find("<td>VXR_RET_REBOOT_MACHINE (timed out)</td>"));
  EXPECT_NE(std::string::npos, page.find("and 30 more failed passes."));
  EXPECT_NE(std::string::npos, page.find("<td class=\"n\">100</td><td>VXR_RET_REBOOT_MACHINE</td>"));
  EXPECT_EQ(std::string::npos, page.find("<td class=\"n\">101</td><td>VXR_RET_REBOOT_MACHINE</td>"));
  // 130 passes of rising memory: the growth warning of /SUMMARY.
  EXPECT_NE(std::string::npos, page.find("id=\"growth-warning\""));
}

TEST(HtmlReportTest, AStoppedRunShowsTheSignalSeedAndExitStatus) {
  const std::vector<PassRecord> unseeded = {Pass(1, 5, 10), Pass(2, 5, 10)};
  std::vector<PassRecord> passes = unseeded;
  passes[1].random_seeds = {4242, 4243};  // the first pass made no random selection
  RunReport report = ReportOf(passes);
  report.stop_signal = 15;
  report.exit_status = 143;
  const std::string page = HtmlReport(report);
  EXPECT_NE(std::string::npos,
            page.find("<p class=\"note\" id=\"interrupted\">Stopped by SIGTERM after 2 passes.</p>"));
  EXPECT_NE(std::string::npos, page.find("<tr><th>Exit status</th><td>143 (stopped by SIGTERM)</td></tr>"));
  EXPECT_NE(std::string::npos, page.find("<tr><th>Seed</th><td>4242</td></tr>"));
  EXPECT_EQ(0u, CountOf(HtmlReport(ReportOf(unseeded)), "Seed"));
}

TEST(HtmlReportTest, TwentyThousandPassesStayASmallPage) {
  std::vector<PassRecord> passes;
  for (uint32_t i = 1; i <= 20000; ++i) {
    const bool failed = i % 50 == 0;
    passes.push_back(Pass(i, 1000 + i % 97, 7000 + i % 13, failed ? 1 : 0, failed ? "0x1" : "VXR_LIB_SUCCESS"));
  }
  const std::string page = HtmlReport(ReportOf(passes));
  EXPECT_LT(page.size(), 2u * 1024 * 1024);
  EXPECT_EQ(2u, CountOf(page, "class=\"band\""));
  EXPECT_NE(std::string::npos, page.find("and 300 more failed passes."));
}

// cmark-gfm with its table extension is how GitHub renders a job summary.
#ifndef _WIN32  // the renderer is a Linux program; the report's text is the same on Windows
TEST(MarkdownReportTest, AFailingRunsTablesRenderAsGitHubDoes) {
  const std::string cmark = "/usr/bin/cmark-gfm";
  if (!std::filesystem::exists(cmark)) GTEST_FAIL() << "cmark-gfm is missing: scripts/setup installs it";
  std::vector<PassRecord> passes = {Pass(1, 5, 10), Pass(2, 7, 12, 0x1, "0x1|pipe"), Pass(3, 9, 11, 0x1, kHostile)};
  TempFolder folder;
  const auto file = folder.Write("run.md", MarkdownReport(ReportOf(passes)));
  const ProgramRun html = RunProgram(cmark, {"-e", "table", file.string()});
  ASSERT_EQ(0, html.exit_code) << html.errors;
  // Run facts, results, figures, failures.
  EXPECT_EQ(4u, CountOf(html.output, "<table>")) << html.output;
  const size_t failures = html.output.find("<h2>Failed passes</h2>");
  ASSERT_NE(std::string::npos, failures);
  const std::string failure_table = html.output.substr(failures);
  EXPECT_EQ(3u, CountOf(failure_table, "<tr>"));  // header and two failed passes
  EXPECT_NE(std::string::npos, failure_table.find("<td>0x1|pipe</td>"));
  EXPECT_NE(std::string::npos, failure_table.find("<td>&lt;script&gt;alert(&quot;x'y&quot;)&lt;/script&gt;"));
  EXPECT_EQ(0u, CountOf(html.output, "<script"));
  EXPECT_NE(std::string::npos, html.output.find("<td align=\"right\">7.0</td>"));
  EXPECT_NE(std::string::npos, html.output.find("<strong>3 passes, 2 failed</strong>"));
}

// Each text in a table cell, rendered as GitHub renders a job summary (tables, autolinks,
// strikethrough): every cell shows its text and nothing else, and the file itself shows the
// plain ones unchanged.
TEST(MarkdownTextTest, EachTextRendersAsItselfAndPlainTextStaysPlain) {
  struct Case {
    std::string text;
    std::string escaped;
  };
  const std::vector<Case> cases = {
      {"50 passes, 10 failed", "50 passes, 10 failed"},
      {"VXR_RET_REBOOT_MACHINE", "VXR_RET_REBOOT_MACHINE"},
      {"2026-12-11T04:27:00Z (+0.5%, 1.25 ms)", "2026-12-11T04:27:00Z (+0.5%, 1.25 ms)"},
      {"C:\\Engines\\vxr.exe /tmp/run #1", "C:\\Engines\\vxr.exe /tmp/run #1"},
      {"0x1|pipe", "0x1\\|pipe"},
      {"_start *bold* ~gone~ `code` [link](x) <b>", "\\_start \\*bold\\* \\~gone\\~ \\`code\\` \\[link](x) \\<b>"},
      {"tail_ &amp; AT&T a & b &#42;", "tail\\_ \\&amp; AT\\&T a & b \\&#42;"},
      {"see http://x.test or www.x.test", "see http\\://x.test or www\\.x.test"},
      {"a\\*b ends\\", "a\\\\\\*b ends\\\\"},
  };
  std::string document = "| text |\n| --- |\n";
  for (const Case& c : cases) {
    EXPECT_EQ(c.escaped, MarkdownEscaped(c.text)) << c.text;
    document += "| " + MarkdownEscaped(c.text) + " |\n";
  }
  TempFolder folder;
  const ProgramRun html = RunProgram("/usr/bin/cmark-gfm", {"-e", "table", "-e", "autolink", "-e", "strikethrough",
                                                            folder.Write("cells.md", document).string()});
  ASSERT_EQ(0, html.exit_code) << html.errors;
  std::string cells;
  for (const Case& c : cases) cells += "<tr>\n<td>" + HtmlEscaped(c.text) + "</td>\n</tr>\n";
  const size_t body = html.output.find("<tbody>\n");
  ASSERT_NE(std::string::npos, body) << html.output;
  EXPECT_EQ(cells, html.output.substr(body + 8, html.output.find("</tbody>") - body - 8));
}
#endif

}  // namespace
