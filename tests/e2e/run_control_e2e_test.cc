// Run control as a CI job meets it: /TIMEOUT, /JSON, /JUNIT, /STRICT and /SUMMARY on the
// built testkve against the reference engine. JSON and XML are read back by Python's own
// parsers, as a dashboard would read them.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "harness_run.h"
#include "platform/process.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

// For each line of a JSON Lines file: the record kind, then its main facts.
constexpr const char* kJsonFacts = R"(
import json, sys
for text in open(sys.argv[1], 'rb').read().decode('utf-8').splitlines():
    line = json.loads(text)
    kind = line['record']
    if kind == 'run':
        engine = line['engine']
        print('run', engine['path'], engine['version'], len(engine['sha256']))
    elif kind == 'pass':
        print('pass', line['pass'], line['result_name'], line['timed_out'],
              line['wall_ms'] > 0, line['peak_kib'] > 0)
    else:
        print('summary', line['passes'], sorted(line['results'].items()),
              line['wall_ms']['min'] <= line['wall_ms']['median'] <= line['wall_ms']['max'])
)";

// The engines still alive that were started from `folder`.
int EnginesAlive(const std::filesystem::path& folder) {
  const std::filesystem::path engine = folder / "vxr.exe";
  int alive = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink(entry.path() / "exe", error);
    if (!error && exe == engine) ++alive;
  }
  return alive;
}

TEST(RunControlE2eTest, TimedOutPassesAreEndedAndTheNextPassRuns) {
  for (const char* ignore_term : {"0", "1"}) {
    SCOPED_TRACE(std::string("VXR_REF_IGNORE_TERM=") + ignore_term);
    EngineFolderCopy folder;
    ProgramRun run = Harness(folder, {"/TIMEOUT=1", "/RUN=2", "/JSON=run.jsonl"},
                             {{"VXR_REF_SLEEP_MS", "60000"}, {"VXR_REF_IGNORE_TERM", ignore_term}});
    EXPECT_EQ(0, run.exit_code);
    const std::string pass = "Launch KVE program\nEngine timed out after 1 s\nError Code: VXR_LIB_WAIT_FAIL\n";
    EXPECT_EQ(
        "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n"
        "Run stress: 1 round\n" +
            pass + "Run stress: 2 round\n" + pass,
        run.output);
    EXPECT_EQ(0, EnginesAlive(folder.path()));
    // No pass ends before its limit; how long past it depends on the machine's load, and that
    // the engine ended at all is what EnginesAlive shows.
    const std::string walls = Python(R"(
import json, sys
for text in open(sys.argv[1]):
    line = json.loads(text)
    if line['record'] == 'pass':
        print(line['timed_out'], 1000 <= line['wall_ms'])
)",
                                     folder.path() / "run.jsonl");
    EXPECT_EQ("True True\nTrue True\n", walls);
  }
}

TEST(RunControlE2eTest, TheLimitHoldsForInteractiveExecutions) {
  EngineFolderCopy folder;
  ProgramRun run = RunProgram(BuiltProgram("testkve"), {"/NH", "/INTERACT", "/TIMEOUT=1", "/JSON=run.jsonl", "/STRICT"},
                              {folder.path(), "/EXECUTE\n/QUIT\n", {{"VXR_REF_SLEEP_MS", "60000"}}});
  EXPECT_EQ(1, run.exit_code);
  EXPECT_EQ(1u, CountOf(run.output,
                        "TestKVE> Launch KVE program\nEngine timed out after 1 s\n"
                        "Error Code: VXR_LIB_WAIT_FAIL\nTestKVE> "))
      << run.output;
  EXPECT_EQ(0, EnginesAlive(folder.path()));
  EXPECT_EQ(1u, CountOf(Python(kJsonFacts, folder.path() / "run.jsonl"), "pass 1 VXR_LIB_WAIT_FAIL True True True\n"));
}

TEST(RunControlE2eTest, JsonLinesRecordEveryPassAndASummaryThatMatches) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/JSON=run.jsonl", "/RUN=5"}, {{"VXR_REF_EXITS", "0,1,-91,0,1"}});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(
      "run ./vxr.exe 3.5 64\n"
      "pass 1 VXR_LIB_SUCCESS False True True\n"
      "pass 2 0x1 False True True\n"
      "pass 3 VXR_RET_REBOOT_MACHINE False True True\n"
      "pass 4 VXR_LIB_SUCCESS False True True\n"
      "pass 5 0x1 False True True\n"
      "summary 5 [('0x1', 2), ('VXR_LIB_SUCCESS', 2), ('VXR_RET_REBOOT_MACHINE', 1)] True\n",
      Python(kJsonFacts, folder.path() / "run.jsonl"));
}

// The engine folder matches names without regard to case, and so does the run record: it
// describes the file that ran, here found only as "VXR.exe", with its version and digest.
TEST(RunControlE2eTest, TheRunRecordDescribesAnEngineFoundUnderAnotherCase) {
  EngineFolderCopy folder;
  std::filesystem::rename(folder.path() / "vxr.exe", folder.path() / "VXR.exe");
  ProgramRun run = Harness(folder, {"/JSON=run.jsonl", "/RUN=1"});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(1u, CountOf(run.output, "Launch KVE program\n")) << run.output;
  const std::string engine = Python(R"(
import hashlib, json, os, sys
run = json.loads(open(sys.argv[1], 'rb').readline())
engine = run['engine']
file = os.path.join(os.path.dirname(sys.argv[1]), 'VXR.exe')
print(engine['path'], engine['version'], engine['sha256'] == hashlib.sha256(open(file, 'rb').read()).hexdigest())
)",
                                    folder.path() / "run.jsonl");
  EXPECT_EQ("./vxr.exe 3.5 True\n", engine);
}

TEST(RunControlE2eTest, AHarnessKilledMidRunKeepsEveryFinishedPass) {
  EngineFolderCopy folder;
  const std::filesystem::path record = folder.path() / "run.jsonl";
  // Three passes end; the fourth engine hangs until the harness is killed.
  folder.Write("plan.txt", "exit 0\nexit 0\nexit 0\nsleep 600000\n");
  const std::vector<std::string> argv = {
      "/bin/sh", "-c", "cd \"$1\" && VXR_REF_PLAN=\"$1/plan.txt\" exec \"$0\" /NH /RUN=50 /JSON=run.jsonl >/dev/null",
      BuiltProgram("testkve"), folder.str()};
  platform::ChildProcess harness = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (CountOf(ReadFile(record), "\"record\":\"pass\"") < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(harness.process_id(), SIGKILL);
  harness.Wait();
  const std::string facts = Python(kJsonFacts, record);
  EXPECT_EQ(1u, CountOf(facts, "run ./vxr.exe")) << facts;
  EXPECT_EQ(3u, CountOf(facts, "VXR_LIB_SUCCESS False True True\n")) << facts;
  EXPECT_EQ(0u, CountOf(facts, "summary")) << facts;
}

// Pattern names with every awkward byte come back exactly: from JSON through Python's
// surrogateescape, and as a JUnit report that Python's XML parser reads.
TEST(RunControlE2eTest, AwkwardNamesSurviveInJsonAndJUnit) {
  const std::vector<std::string> names = {"quote\"d",    "back\\slash", "ctl\x01\x1f\x7f", "nl\nx",
                                          "bad\xff\xc3", "ok\xc3\xa9",  "amp&<lt>'"};
  std::string assign = "/ASSIGN=";
  for (const std::string& name : names) assign += name + ";";
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {assign, "/JSON=run.jsonl", "/JUNIT=report.xml"}, {{"LC_ALL", "C"}});
  EXPECT_EQ(0, run.exit_code);
  std::string expected;
  for (const std::string& name : names) {
    for (unsigned char byte : name) expected += std::to_string(byte) + " ";
    expected += "\n";
  }
  EXPECT_EQ(expected, Python(R"(
import json, sys
for text in open(sys.argv[1], 'rb').read().decode('utf-8').splitlines():
    line = json.loads(text)
    if line['record'] == 'pass':
        for name in line['patterns']:
            print(''.join('%d ' % b for b in name.encode('utf-8', 'surrogateescape')))
)",
                             folder.path() / "run.jsonl"));
  EXPECT_EQ("1 1\n", Python(R"(
import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
print(len(root.findall('testsuite')), len(root.findall('testsuite/testcase')))
)",
                            folder.path() / "report.xml"));
}

TEST(RunControlE2eTest, JUnitReportHasOneCasePerPassAndNamesTheFailure) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/JUNIT=report.xml", "/RUN=3"}, {{"VXR_REF_EXITS", "0,-93,0"}});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(
      "testsuites 1 3 1\n"
      "pass 1 -\n"
      "pass 2 VXR_RET_LOAD_PATTERN_FAILED\n"
      "pass 3 -\n",
      Python(R"(
import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
suites = root.findall('testsuite')
cases = suites[0].findall('testcase')
print(root.tag, len(suites), suites[0].get('tests'), suites[0].get('failures'))
for case in cases:
    failure = case.find('failure')
    float(case.get('time'))
    print(case.get('name'), '-' if failure is None else failure.get('message'))
)",
             folder.path() / "report.xml"));
}

TEST(RunControlE2eTest, StrictExitStatusTellsWhetherEverythingSucceeded) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    Environment environment;
    bool unsigned_engine;
    int exit_code;
  } cases[] = {
      {"all succeed", {"/STRICT", "/RUN=3"}, {}, false, 0},
      {"one engine exits with 1", {"/STRICT", "/RUN=3"}, {{"VXR_REF_EXITS", "0,1,0"}}, false, 1},
      {"unsigned engine", {"/STRICT", "/RUN=3"}, {}, true, 1},
      {"a pass times out", {"/STRICT", "/TIMEOUT=1"}, {{"VXR_REF_SLEEP_MS", "600000"}}, false, 1},
      {"without /STRICT", {"/RUN=3"}, {{"VXR_REF_EXITS", "0,1,0"}}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineFolderCopy folder;
    if (c.unsigned_engine) {
      std::filesystem::copy_file(BuiltProgram("vxr_ref"), folder.path() / "vxr.exe",
                                 std::filesystem::copy_options::overwrite_existing);
    }
    ProgramRun run = Harness(folder, c.options, c.environment);
    EXPECT_EQ(c.exit_code, run.exit_code) << run.output;
  }
}

// The pass record's peak memory is the engine's own, as the engine itself sees it, not the size
// the harness had when it started the engine.
TEST(RunControlE2eTest, APassRecordsTheEnginesOwnPeakMemory) {
  EngineFolderCopy folder;
  const std::filesystem::path own_peak = folder.path() / "own_peak.txt";
  std::map<std::string, std::string> environment = {{"VXR_REF_PEAK_FILE", own_peak.string()}};
#if defined(TESTKVE_SANITIZED)
  // The leak check at a sanitized engine's exit touches megabytes after the engine looked.
  environment["ASAN_OPTIONS"] = "detect_leaks=0";
#endif
  ProgramRun run = Harness(folder, {"/JSON=run.jsonl"}, environment);
  ASSERT_EQ(0, run.exit_code) << run.output << run.errors;
  const std::string recorded = Python(
      "import json, sys\n"
      "for text in open(sys.argv[1]):\n"
      "    line = json.loads(text)\n"
      "    if line['record'] == 'pass': print(line['peak_kib'])\n",
      folder.path() / "run.jsonl");
  const uint64_t engine_kib = std::stoull(ReadFile(own_peak));
  const uint64_t recorded_kib = std::stoull(recorded);
  // The kernel keeps its resident counts in batches, so the two figures differ by some pages
  // either way; the harness's megabytes never enter.
  EXPECT_GE(recorded_kib + 256, engine_kib) << "the engine saw " << engine_kib << " KiB";
  EXPECT_LE(recorded_kib, engine_kib + 1024) << "the engine saw " << engine_kib << " KiB";
}

TEST(RunControlE2eTest, SummaryWarnsOfAnEngineWhoseMemoryGrows) {
  const std::string warning = "Warning: engine peak memory grew by ";
  for (const char* leak_kb : {"2048", "0"}) {
    SCOPED_TRACE(std::string("VXR_REF_LEAK_KB=") + leak_kb);
    EngineFolderCopy folder;
    ProgramRun run = Harness(folder, {"/SUMMARY", "/RUN=20"}, {{"VXR_REF_LEAK_KB", leak_kb}});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(1u, CountOf(run.output,
                          "Run summary: 20 passes, 0 timed out\n"
                          "  VXR_LIB_SUCCESS: 20\n"
                          "Engine wall time: min "));
    EXPECT_EQ(1u, CountOf(run.output, "Engine peak memory: min "));
    EXPECT_EQ(std::string(leak_kb) == "0" ? 0u : 1u, CountOf(run.errors, warning)) << run.errors;
  }
}

}  // namespace
