// The pieces of the run records: the summary's figures and growth rule, and the escaping of
// JSON and XML for any bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestKVE/junit_writer.h"
#include "TestKVE/run_json.h"
#include "TestKVE/run_summary.h"

namespace {

PassRecord Pass(uint32_t number, double wall_ms, uint64_t peak_kib, const char* result_name = "VXR_LIB_SUCCESS") {
  PassRecord pass;
  pass.number = number;
  pass.wall_ms = wall_ms;
  pass.peak_kib = peak_kib;
  pass.result_name = result_name;
  return pass;
}

TEST(RunSummaryTest, SpreadsAndResultsByName) {
  const std::vector<PassRecord> passes = {Pass(1, 5, 100, "0x1"), Pass(2, 1, 300), Pass(3, 3, 200),
                                          Pass(4, 9, 400, "0x1")};
  const RunSummary summary = Summarize(passes);
  EXPECT_EQ(4u, summary.passes);
  EXPECT_EQ((std::vector<std::pair<std::string, uint32_t>>{{"0x1", 2}, {"VXR_LIB_SUCCESS", 2}}), summary.results);
  ASSERT_TRUE(summary.wall_ms && summary.peak_kib);
  EXPECT_EQ(1, summary.wall_ms->min);
  EXPECT_EQ(4, summary.wall_ms->median);  // the mean of the middle two
  EXPECT_EQ(9, summary.wall_ms->max);
  EXPECT_EQ(250, summary.peak_kib->median);
  EXPECT_FALSE(Summarize({}).wall_ms);
}

TEST(RunSummaryTest, GrowthComparesTheFirstTenthWithTheLastTenth) {
  struct Case {
    const char* what;
    std::vector<uint64_t> peaks;
    bool warns;
    bool first_not_run = false;  // a pass whose preparation failed comes first: it has no peak
  } cases[] = {
      {"one pass", {100}, false},
      {"flat", std::vector<uint64_t>(20, 100), false},
      {"ten percent exactly", {100, 110}, false},
      {"just past ten percent", {100, 111}, true},
      // 20 passes: the tenths are passes 1-2 and 19-20; a spike in between does not count.
      {"spike in the middle",
       {100, 100, 100, 100, 100, 100, 100, 100, 100, 900, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100},
       false},
      {"growing",
       {100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 200, 210, 220, 230, 240, 250, 260, 270, 280, 290},
       true},
      {"shrinking", {200, 100}, false},
      {"growing after a pass that did not run", {100, 111}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PassRecord> passes;
    if (c.first_not_run) {
      passes.push_back(Pass(1, 0, 0));
      passes.back().not_run = "exit status 1";
    }
    for (uint64_t peak : c.peaks) passes.push_back(Pass(static_cast<uint32_t>(passes.size() + 1), 1, peak));
    EXPECT_EQ(c.warns, !PeakGrowthWarning(Summarize(passes)).empty());
  }
}

TEST(RunJsonTest, EveryByteHasAnEscapeThatKeepsTheLineValid) {
  const struct {
    std::string bytes;
    std::string literal;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\t\x01\x1f", "\"\\n\\t\\u0001\\u001f\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\xff", "\"\\udcff\""},
      {"cut\xc3", "\"cut\\udcc3\""},
      {"\xc0\xaf", "\"\\udcc0\\udcaf\""},             // an overlong '/'
      {"\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},  // an encoded surrogate
      {"\xc3\xa9", "\"\xc3\xa9\""},                   // well-formed UTF-8 stays as it is
      {"\\u0000--", "\"\\\\u0000--\""},               // text that looks like an escape
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.literal);
    EXPECT_EQ(c.literal, JsonStringLiteral(c.bytes));
  }
}

TEST(JUnitWriterTest, EscapesMarkupAndEveryByteXmlCannotCarry) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
      {"\t\n\r", "&#9;&#10;&#13;"},
      {"\x01\x7f", "\\x01\x7f"},
      {std::string("\0", 1), "\\x00"},
      {"\xff\xc3", "\\xFF\\xC3"},
      {"\xef\xbf\xbe", "\\xEF\\xBF\\xBE"},  // U+FFFE is no XML character
      {"\xc3\xa9\xe2\x82\xac", "\xc3\xa9\xe2\x82\xac"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(c.escaped, XmlEscaped(c.text));
  }
}

TEST(JUnitWriterTest, ReportHasOneCasePerPassAndAFailureForEachUnsuccessfulOne) {
  RunDescription run;
  std::vector<PassRecord> passes = {Pass(1, 1500, 10), Pass(2, 250, 10, "VXR_LIB_WAIT_FAIL")};
  passes[0].pattern_names = {"Troj_a1", "x<y"};
  passes[1].result = VXR_LIB_WAIT_FAIL;
  passes[1].timed_out = true;
  passes[1].user_ms = 12.5;
  passes[1].system_ms = 2;
  run.host_name = "ci-7";
  const std::string report = JUnitReport(run, passes);
  EXPECT_NE(std::string::npos, report.find("<testcase classname=\"TestKVE\" name=\"pass 1: Troj_a1 x&lt;y\" "
                                           "time=\"1.500\"/>"))
      << report;
  EXPECT_NE(std::string::npos, report.find("<failure message=\"VXR_LIB_WAIT_FAIL\" type=\"VXR_LIB_WAIT_FAIL\">"
                                           "Engine timed out&#10;Error Code: VXR_LIB_WAIT_FAIL&#10;result 0x80000003, "
                                           "wall 250.0 ms, user 12.5 ms, system 2.0 ms, peak 10 KiB</failure>"))
      << report;
  EXPECT_NE(std::string::npos, report.find("tests=\"2\" failures=\"1\" errors=\"0\" time=\"1.750\""));
  EXPECT_NE(std::string::npos, report.find("hostname=\"ci-7\">")) << report;
  EXPECT_EQ(std::string::npos, report.find("\"interrupted\"")) << report;
  EXPECT_NE(std::string::npos, JUnitReport(run, passes, true).find("<property name=\"interrupted\" value=\"true\"/>"));
}

// Every line of the summary, with figures that tell each one from the others: a swapped
// minimum and maximum, mean and median, or user and system time shows.
TEST(RunSummaryTest, TheWholeTextNamesEveryFigureInItsPlace) {
  std::vector<PassRecord> passes = {Pass(1, 10, 300, "0x1"), Pass(2, 20, 100), Pass(3, 60, 200)};
  const double user[] = {1, 2, 6};
  const double system[] = {0.5, 0.5, 2.5};
  for (size_t i = 0; i < passes.size(); ++i) {
    passes[i].user_ms = user[i];
    passes[i].system_ms = system[i];
  }
  passes[0].result = static_cast<VXRResult>(1);
  passes[1].random_seeds = {41, 42};
  RunSummary summary = Summarize(passes);
  summary.interrupted = true;
  EXPECT_EQ(
      "Run summary: 3 passes, 0 timed out, interrupted by a stop signal\n"
      "  0x1: 1\n"
      "  VXR_LIB_SUCCESS: 2\n"
      "Engine wall time: min 10.0 ms, median 20.0 ms, max 60.0 ms\n"
      "Engine wall time: mean 30.0 ms, standard deviation 26.5 ms, total 90.0 ms\n"
      "Engine user time: mean 3.0 ms, standard deviation 2.6 ms, total 9.0 ms\n"
      "Engine system time: mean 1.2 ms, standard deviation 1.2 ms, total 3.5 ms\n"
      "Engine peak memory: min 100 KiB, median 200 KiB, max 300 KiB\n"
      "Engine wall time percentiles: p50 20.0 ms, p90 52.0 ms, p95 56.0 ms, p99 59.2 ms\n"
      "Engine user time percentiles: p50 2.0 ms, p90 5.2 ms, p95 5.6 ms, p99 5.9 ms\n"
      "Engine system time percentiles: p50 0.5 ms, p90 2.1 ms, p95 2.3 ms, p99 2.5 ms\n"
      "Engine peak memory percentiles: p50 200 KiB, p90 280 KiB, p95 290 KiB, p99 298 KiB\n"
      "Engine wall time outliers beyond 1.5 IQR of the quartiles: 0\n"
      "1 failed: pass 1\n"
      "Random seed: 41\n",
      SummaryText(summary));
  EXPECT_EQ(
      "Run summary: 1 pass, 0 timed out\n"
      "  VXR_LIB_SUCCESS: 1\n"
      "Engine wall time: min 20.0 ms, median 20.0 ms, max 20.0 ms\n"
      "Engine wall time: mean 20.0 ms, standard deviation 0.0 ms, total 20.0 ms\n"
      "Engine user time: mean 2.0 ms, standard deviation 0.0 ms, total 2.0 ms\n"
      "Engine system time: mean 0.5 ms, standard deviation 0.0 ms, total 0.5 ms\n"
      "Engine peak memory: min 100 KiB, median 100 KiB, max 100 KiB\n"
      "Engine wall time percentiles: p50 20.0 ms, p90 20.0 ms, p95 20.0 ms, p99 20.0 ms\n"
      "Engine user time percentiles: p50 2.0 ms, p90 2.0 ms, p95 2.0 ms, p99 2.0 ms\n"
      "Engine system time percentiles: p50 0.5 ms, p90 0.5 ms, p95 0.5 ms, p99 0.5 ms\n"
      "Engine peak memory percentiles: p50 100 KiB, p90 100 KiB, p95 100 KiB, p99 100 KiB\n"
      "Engine wall time outliers beyond 1.5 IQR of the quartiles: 0\n"
      "0 failed\n"
      "Random seed: 41\n",
      SummaryText(Summarize(std::span(passes).subspan(1, 1))));
  EXPECT_EQ("Run summary: 0 passes, 0 timed out\n0 failed\n", SummaryText(Summarize({})));
}

// Passes whose preparation failed count as failed, under their own result, and add no figures;
// the outlier warning names the passes (the first ten, and how many more).
TEST(RunSummaryTest, PassesThatDidNotRunAndOutliers) {
  std::vector<PassRecord> passes;
  for (uint32_t number = 1; number <= 60; ++number)
    passes.push_back(Pass(number, number <= 12 ? 900 : 10 + number % 3, 100));
  passes[59].not_run = "exit status 1";
  passes[59].result_name = kNotRunResultName;
  passes[59].wall_ms = 0;
  const RunSummary summary = Summarize(passes);
  EXPECT_EQ(1u, summary.failed);
  EXPECT_EQ(std::vector<uint32_t>{60}, summary.failed_passes);
  ASSERT_TRUE(summary.wall_ms);
  EXPECT_EQ(10, summary.wall_ms->min) << "the pass that did not run adds no figure";
  EXPECT_EQ(
      "Warning: 12 passes lie beyond the outlier fence of engine wall time (1.5 IQR outside the quartiles): "
      "passes 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 and 2 more\n",
      OutlierWarning(summary));
  EXPECT_EQ("", OutlierWarning(Summarize(std::span(passes).subspan(12, 10))));
}

}  // namespace
