// /REPORT and /MARKDOWN on the built testkve against the reference engine: the pages of a run
// with failures, of a run stopped by a signal, and the text from the command line kept as
// text. The HTML is parsed by html5lib as a browser would parse it; the Markdown is rendered
// by cmark-gfm as GitHub renders a job summary.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/background_program.h"
#include "support/engine_start_log.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

const std::string kHtml5Check = std::string(TESTKVE_SOURCE_DIR) + "/tests/report/html5_check.py";

// The parse errors html5lib finds in the page; empty when there are none.
std::string Html5Errors(const std::filesystem::path& page) {
  const ProgramRun run = RunProgram("/usr/bin/python3", {kHtml5Check, page.string()});
  return run.exit_code == 0 ? "" : run.output + run.errors;
}

std::string RenderedMarkdown(const std::filesystem::path& file) {
  const ProgramRun run = RunProgram("/usr/bin/cmark-gfm", {"-e", "table", file.string()});
  return run.exit_code == 0 ? run.output : "cmark-gfm failed: " + run.errors;
}

TEST(RunReportE2eTest, AFailingRunsPageAndSummaryHoldEveryPassAndParseCleanly) {
  EngineFolderCopy folder;
  // An option value with markup, quotes and a control character; and one that is not UTF-8.
  const std::string hostile = "<script>alert('x')</script>\"\x01";
  const ProgramRun run = RunProgram(
      BuiltProgram("testkve"),
      {"/NH", "/RUN=6", "/STRICT", "/REPORT=run.html", "/MARKDOWN=run.md", "/GCNAME=" + hostile, "/PTNPATH=caf\xe9"},
      {folder.path(), "", {{"VXR_REF_EXITS", "0,1,-91"}}});
  ASSERT_EQ(1, run.exit_code) << run.errors;
  const std::filesystem::path page = folder.path() / "run.html";
  const std::string html = ReadFile(page);
  EXPECT_EQ("", Html5Errors(page));
  EXPECT_NE(std::string::npos, html.find("<span id=\"pass-count\">6</span> passes"));
  EXPECT_NE(std::string::npos, html.find("<span id=\"failure-count\" class=\"failed\">4</span> failed"));
  EXPECT_EQ(3u, CountOf(html, "<svg ")) << "wall time, peak memory and histogram; no monitor ran";
  EXPECT_NE(std::string::npos, html.find("<tr><th>Exit status</th><td>1</td></tr>"));
  EXPECT_NE(std::string::npos, html.find("<td>VXR_RET_REBOOT_MACHINE</td><td class=\"n\">2</td>"));
  EXPECT_NE(std::string::npos, html.find("/GCNAME=&lt;script&gt;alert(&apos;x&apos;)&lt;/script&gt;&quot;\\x01"));
  EXPECT_NE(std::string::npos, html.find("/PTNPATH=caf\\xE9"));
  EXPECT_EQ(0u, CountOf(html, "<script"));

  const std::string markdown = RenderedMarkdown(folder.path() / "run.md");
  EXPECT_NE(std::string::npos, markdown.find("<strong>6 passes, 4 failed</strong>")) << markdown;
  const size_t failures = markdown.find("<h2>Failed passes</h2>");
  ASSERT_NE(std::string::npos, failures) << markdown;
  EXPECT_EQ(5u, CountOf(markdown.substr(failures), "<tr>"));
  EXPECT_NE(std::string::npos, markdown.find("/GCNAME=&lt;script&gt;alert('x')&lt;/script&gt;&quot;\\x01"));
  EXPECT_EQ(0u, CountOf(markdown, "<script"));
}

TEST(RunReportE2eTest, AStopSignalLeavesPagesOfThePassesThatRan) {
  EngineFolderCopy folder;
  const std::filesystem::path log = folder.path() / "starts.log";
  std::ofstream(folder.path() / "plan") << "exit 0\nexit 1\nsleep 60000\n";
  BackgroundProgram harness(BuiltProgram("testkve"), {"/NH", "/RUN=10", "/REPORT=run.html", "/MARKDOWN=run.md"},
                            folder.path(),
                            {{"VXR_REF_PLAN", (folder.path() / "plan").string()}, {"VXR_REF_START_LOG", log}});
  ASSERT_TRUE(WaitFor(60, [&] { return EngineStartPids(log).size() == 3; }));
  harness.Signal(SIGTERM);
  const ProgramRun run = harness.Wait();
  EXPECT_EQ(128 + SIGTERM, run.exit_code) << run.errors;
  const std::filesystem::path page = folder.path() / "run.html";
  const std::string html = ReadFile(page);
  EXPECT_EQ("", Html5Errors(page));
  EXPECT_NE(std::string::npos, html.find("<span id=\"pass-count\">3</span> passes"));
  EXPECT_NE(std::string::npos, html.find("<span id=\"failure-count\" class=\"failed\">2</span> failed"));
  EXPECT_NE(std::string::npos, html.find("Stopped by SIGTERM after 3 passes."));
  EXPECT_NE(std::string::npos, html.find("<tr><th>Exit status</th><td>143 (stopped by SIGTERM)</td></tr>"));
  EXPECT_NE(std::string::npos, html.find("<td class=\"n\">3</td><td>0xc000000f</td>"));
  EXPECT_NE(std::string::npos, RenderedMarkdown(folder.path() / "run.md").find("Stopped by SIGTERM after 3 passes."));
}

TEST(RunReportE2eTest, APageThatCannotBeWrittenIsNamedAndTheRunGoesOn) {
  EngineFolderCopy folder;
  const ProgramRun run =
      RunProgram(BuiltProgram("testkve"), {"/NH", "/REPORT=no/such/folder/run.html"}, {folder.path()});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_NE(std::string::npos, run.output.find("Launch KVE program"));
  EXPECT_NE(std::string::npos, run.errors.find("TestKVE: cannot write no/such/folder/run.html: ")) << run.errors;
  // Like any record, a lost page is a failure that /STRICT tells.
  const ProgramRun strict =
      RunProgram(BuiltProgram("testkve"), {"/NH", "/STRICT", "/MARKDOWN=no/such/folder/run.md"}, {folder.path()});
  EXPECT_EQ(1, strict.exit_code) << strict.errors;
}

}  // namespace
