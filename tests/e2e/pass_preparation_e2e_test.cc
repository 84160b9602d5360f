// Stress runs as QA engineers run them, on the built testkve against the reference engine: a
// corpus restored by /PREPARE before every pass, /CLEANUP after it, warm-up passes left out of
// the figures and of /STRICT, failed passes placed by number, and the percentiles of every
// record. JSON and XML are read back by Python's own parsers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness_run.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

// A corpus of one infected file and its pristine copy; the engine is told to clean the file.
struct Corpus {
  explicit Corpus(const EngineFolderCopy& folder) {
    std::filesystem::create_directories(folder.path() / "corpus");
    folder.Write("pristine.txt", "infected\n");
    folder.Write("corpus/infected.txt", "infected\n");
    environment = {{"VXR_REF_CLEAN_FILE", (folder.path() / "corpus" / "infected.txt").string()}};
  }
  Environment environment;
};

std::string CleanedLog(const EngineFolderCopy& folder) { return ReadFile(folder.path() / "report" / "cleaned.txt"); }

TEST(PassPreparationE2eTest, PrepareRestoresTheCorpusBeforeEveryPassAndWarmUpsComeFirst) {
  {
    SCOPED_TRACE("without /PREPARE the engine meets the corpus it cleaned");
    EngineFolderCopy folder;
    Corpus corpus(folder);
    EXPECT_EQ(0, Harness(folder, {"/RUN=3"}, corpus.environment).exit_code);
    EXPECT_EQ("infected\ncleaned\ncleaned\n", CleanedLog(folder));
  }
  EngineFolderCopy folder;
  Corpus corpus(folder);
  ProgramRun run = Harness(folder,
                           {"/WARMUP=1", "/RUN=3", "/PREPARE=cp pristine.txt corpus/infected.txt",
                            "/CLEANUP=echo $TESTKVE_PASS $TESTKVE_WARMUP >> passes.log", "/JSON=run.jsonl"},
                           corpus.environment);
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ("", run.errors);
  EXPECT_EQ(
      "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n"
      "Warm-up: 1 round\nLaunch KVE program\n"
      "Run stress: 1 round\nLaunch KVE program\n"
      "Run stress: 2 round\nLaunch KVE program\n"
      "Run stress: 3 round\nLaunch KVE program\n",
      run.output);
  EXPECT_EQ("infected\ninfected\ninfected\ninfected\n", CleanedLog(folder)) << "whole at the start of every pass";
  EXPECT_EQ("1 1\n1 0\n2 0\n3 0\n", ReadFile(folder.path() / "passes.log")) << "after every pass, numbered";
  EXPECT_EQ("1 True\n1 False\n2 False\n3 False\nsummary 3 1\n", Python(R"(
import json, sys
for text in open(sys.argv[1]):
    line = json.loads(text)
    if line['record'] == 'pass': print(line['pass'], line['warm_up'])
    if line['record'] == 'summary': print('summary', line['passes'], line['warm_up_passes'])
)",
                                                                       folder.path() / "run.jsonl"));
}

// A preparation that fails marks its pass as not run (its own result in every record, counted
// by /STRICT); the run goes on. Failures of warm-up passes count for nothing.
TEST(PassPreparationE2eTest, AFailedPreparationMarksThePassNotRunAndTheRunGoesOn) {
  EngineFolderCopy folder;
  const std::filesystem::path log = folder.path() / "starts.log";
  ProgramRun run = Harness(folder,
                           {"/WARMUP=1", "/RUN=3", "/PREPARE=test $TESTKVE_PASS != 2 -o $TESTKVE_WARMUP = 1", "/STRICT",
                            "/SUMMARY", "/JSON=run.jsonl", "/JUNIT=report.xml"},
                           {{"VXR_REF_START_LOG", log.string()}});
  EXPECT_EQ(1, run.exit_code);
  EXPECT_EQ("testkve: /PREPARE failed before pass 2 (exit status 1); the engine does not run in it\n", run.errors);
  EXPECT_EQ(3u, Lines(ReadFile(log)).size()) << "the warm-up pass and passes 1 and 3";
  EXPECT_EQ(1u, CountOf(run.output, "Run stress: 2 round\nRun stress: 3 round\n")) << run.output;
  EXPECT_EQ(1u, CountOf(run.output, "  PREPARE_FAILED: 1\n")) << run.output;
  EXPECT_EQ(1u, CountOf(run.output, "Warm-up: 1 pass, left out of every figure\n1 failed: pass 2\n")) << run.output;
  EXPECT_EQ(
      "1 True VXR_LIB_SUCCESS 0 None\n1 False VXR_LIB_SUCCESS 0 None\n"
      "2 False PREPARE_FAILED None exit status 1\n3 False VXR_LIB_SUCCESS 0 None\n",
      Python(R"(
import json, sys
for text in open(sys.argv[1]):
    line = json.loads(text)
    if line['record'] == 'pass':
        print(line['pass'], line['warm_up'], line['result_name'], line['result'], line.get('not_run'))
)",
             folder.path() / "run.jsonl"));
  EXPECT_EQ("3 1 PREPARE_FAILED\n", Python(R"(
import sys, xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot().find('testsuite')
failures = [f.get('type') for f in suite.iter('failure')]
print(suite.get('tests'), suite.get('failures'), *failures)
)",
                                           folder.path() / "report.xml"));

  // The same run with the failing preparation in the warm-up pass only: nothing counts.
  EngineFolderCopy warm;
  ProgramRun lenient = Harness(warm, {"/WARMUP=1", "/RUN=2", "/PREPARE=test $TESTKVE_WARMUP = 0", "/STRICT"});
  EXPECT_EQ(0, lenient.exit_code) << lenient.errors;
  EXPECT_EQ("testkve: /PREPARE failed before warm-up pass 1 (exit status 1); the engine does not run in it\n",
            lenient.errors);
}

// A failed engine run in a warm-up pass is printed but left out of /STRICT and of the summary.
TEST(PassPreparationE2eTest, WarmUpFailuresAreLeftOutOfStrictAndTheFigures) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/WARMUP=2", "/RUN=2", "/STRICT", "/SUMMARY"}, {{"VXR_REF_EXITS", "1,1,0,0"}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(2u, CountOf(run.output, "Error Code: 0x1\n"));
  EXPECT_EQ("Warm-up pass 1: 0x1\nWarm-up pass 2: 0x1\n", run.errors);
  EXPECT_EQ(1u, CountOf(run.output, "Run summary: 2 passes, 0 timed out\n  VXR_LIB_SUCCESS: 2\n")) << run.output;
  EXPECT_EQ(1u, CountOf(run.output, "Warm-up: 2 passes, left out of every figure\n0 failed\n")) << run.output;
}

// Where each failure of a long run lies: a "Pass N:" line beside each "Error Code:" line, the
// failed passes in the summary, and the percentiles in every record.
TEST(PassPreparationE2eTest, FailuresArePlacedAndPercentilesReported) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/RUN=5", "/SUMMARY", "/JSON=run.jsonl", "/REPORT=run.html", "/MARKDOWN=run.md"},
                           {{"VXR_REF_EXITS", "0,1,0,-91,0"}});
  EXPECT_EQ(0, run.exit_code);
  // An outlier warning may follow, as the machine's load makes the passes' times.
  EXPECT_EQ(0u, run.errors.find("Pass 2: 0x1\nPass 4: VXR_RET_REBOOT_MACHINE\n")) << run.errors;
  EXPECT_EQ(2u, CountOf(run.errors, "Pass ")) << run.errors;
  EXPECT_EQ(1u, CountOf(run.output, "Error Code: 0x1\n"));
  EXPECT_EQ(1u, CountOf(run.output, "\n2 failed: passes 2 and 4\n")) << run.output;
  for (const char* figure : {"wall time", "user time", "system time", "peak memory"})
    EXPECT_EQ(1u, CountOf(run.output, std::string("Engine ") + figure + " percentiles: p50 ")) << figure;
  EXPECT_EQ(1u, CountOf(run.output, "Engine wall time outliers beyond 1.5 IQR of the quartiles: "));
  EXPECT_EQ("True True True 2\n", Python(R"(
import json, sys
s = json.loads(open(sys.argv[1]).read().splitlines()[-1])
w = s['wall_ms']
print(w['min'] <= w['p50'] <= w['p90'] <= w['p95'] <= w['p99'] <= w['max'], w['p50'] == w['median'],
      all('p99' in s[k] for k in ('user_ms', 'system_ms', 'peak_kib')), s['failed'])
)",
                                         folder.path() / "run.jsonl"));
  const std::string page = ReadFile(folder.path() / "run.html");
  EXPECT_EQ(4u, CountOf(page, "class=\"failed-pass\"")) << "passes 2 and 4 on both per-pass plots";
  EXPECT_EQ(1u, CountOf(page, "<th>p95</th>"));
  EXPECT_EQ(1u, CountOf(ReadFile(folder.path() / "run.md"), "| p90 | p95 | p99 |"));
}

}  // namespace
