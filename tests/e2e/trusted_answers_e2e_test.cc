// What a person at a terminal and a CI job read from the built testkve: --help and --version
// that start nothing, warnings for unknown options, an exit status for every failure, records
// that survive a stop signal, a random selection that replays, a missing engine named, and a
// progress line that only a terminal gets.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness_run.h"
#include "support/background_program.h"
#include "support/engine_start_log.h"
#include "support/file_watch.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

ProgramRun Harness(const std::filesystem::path& folder, const std::vector<std::string>& options,
                   Environment environment = {}) {
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(BuiltProgram("testkve"), args, {folder, "", std::move(environment)});
}

TEST(TrustedAnswersE2eTest, HelpAndVersionWordsStartNothing) {
  const std::string usage = RunProgram(BuiltProgram("testkve"), {"/NH", "/?"}).output;
  ASSERT_NE(std::string::npos, usage.find("Exit status:\n")) << usage;
  const struct {
    std::vector<std::string> args;
    std::string output;
  } cases[] = {
      {{"--help"}, usage},
      {{"-h"}, usage},
      {{"/RUN=3", "--help"}, usage},
      {{"--version"}, "TestKVE   Ver 5.0-1105\n"},
      {{"-V", "/RUN=3"}, "TestKVE   Ver 5.0-1105\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    EngineFolderCopy folder;
    const std::filesystem::path log = folder.path() / "starts.log";
    const ProgramRun run =
        RunProgram(BuiltProgram("testkve"), c.args, {folder.path(), "", {{"VXR_REF_START_LOG", log.string()}}});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(c.output, run.output);
    EXPECT_EQ("", run.errors);
    EXPECT_EQ(0u, EngineStarts(log).size());
  }
}

TEST(TrustedAnswersE2eTest, UnknownOptionsWarnAndUnderStrictStopBeforeAnythingRuns) {
  const struct {
    std::vector<std::string> options;
    std::string errors;
  } cases[] = {
      {{"/RUNS=3"}, "testkve: warning: /RUNS=3: unknown option; did you mean /RUN?\n"},
      {{"-sumary", "/XYZZY"},
       "testkve: warning: -sumary: unknown option; did you mean /SUMMARY?\n"
       "testkve: warning: /XYZZY: unknown option\n"},
      {{"/SEED=4", "/quick-", "/?X"}, "testkve: warning: /?X: unknown option\n"},
      {{"/seed=4", "/Json=x.jsonl", "/NC"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.front());
    EngineFolderCopy folder;
    const std::filesystem::path log = folder.path() / "starts.log";
    const ProgramRun run = Harness(folder.path(), c.options, {{"VXR_REF_START_LOG", log.string()}});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(c.errors, run.errors);
    EXPECT_EQ(1u, EngineStarts(log).size());

    std::vector<std::string> strict = c.options;
    strict.push_back("/STRICT");
    const ProgramRun stopped = Harness(folder.path(), strict, {{"VXR_REF_START_LOG", log.string()}});
    EXPECT_EQ(c.errors.empty() ? 0 : 2, stopped.exit_code);
    EXPECT_EQ(c.errors, stopped.errors);
    EXPECT_EQ(c.errors.empty() ? 2u : 1u, EngineStarts(log).size()) << "nothing ran";
    if (!c.errors.empty()) {
      EXPECT_EQ("", stopped.output);
    }
  }
}

// The program's own path is scanned like the rest of the line, as the system does, and what
// it holds draws no warning.
TEST(TrustedAnswersE2eTest, KeysInTheProgramsOwnPathRunQuietly) {
  EngineFolderCopy folder;
  const std::filesystem::path odd = folder.path() / "p /RUN=3 q";
  std::filesystem::create_directories(odd);
  std::filesystem::copy_file(BuiltProgram("testkve"), odd / "testkve");
  const ProgramRun run = RunProgram((odd / "testkve").string(), {"/NH", "/STRICT"}, {folder.path()});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ("", run.errors);
  EXPECT_EQ(3u, CountOf(run.output, "Launch KVE program\n"));
}

TEST(TrustedAnswersE2eTest, StrictCountsEveryFailureThatIsTold) {
  const struct {
    const char* what;
    std::vector<std::string> options;
    std::string told;  // on standard error
  } cases[] = {
      {"record cannot be opened", {"/JSON=/nonexistent/x.jsonl"}, "cannot open /nonexistent/x.jsonl"},
      {"report cannot be written", {"/JUNIT=/nonexistent/r.xml"}, "cannot write /nonexistent/r.xml"},
      {"record that is no regular file", {"/JSON=/dev/full"}, "cannot open /dev/full: it is not a regular file"},
      {"number that is no number", {"/RUN=abc"}, "/RUN=abc is not a whole decimal number"},
      {"mailslot that cannot be made", {"/DLL"}, "cannot serve \\\\.\\mailslot\\ExtraOutput"},
      {"service that cannot start", {"/SERVICE"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EngineFolderCopy folder;
    // A slot folder that others may write to is refused; a service database that is a file
    // cannot be opened.
    const std::filesystem::path slots = folder.path() / "runtime" / "testkve" / "mailslot";
    std::filesystem::create_directories(slots);
    chmod(slots.c_str(), 0777);
    const Environment environment = {{"XDG_RUNTIME_DIR", (folder.path() / "runtime").string()},
                                     {"TESTKVE_SERVICE_DB", folder.Write("services", "").string()}};
    const ProgramRun lenient = Harness(folder.path(), c.options, environment);
    EXPECT_EQ(0, lenient.exit_code) << lenient.errors;
    EXPECT_NE(std::string::npos, lenient.errors.find(c.told)) << lenient.errors;
    std::vector<std::string> strict = c.options;
    strict.push_back("/STRICT");
    const ProgramRun run = Harness(folder.path(), strict, environment);
    EXPECT_EQ(1, run.exit_code) << run.output << run.errors;
    EXPECT_EQ(lenient.output, run.output);
  }
}

TEST(TrustedAnswersE2eTest, TheServiceNamesWhereItsOutputGoes) {
  EngineFolderCopy folder;
  const std::filesystem::path database = folder.path() / "services";
  const ProgramRun run = Harness(folder.path(), {"/SERVICE", "/RUN=0"}, {{"TESTKVE_SERVICE_DB", database.string()}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_NE(std::string::npos, run.output.find("Service start.\n")) << run.output;
  EXPECT_EQ("testkve: the service's output goes to " + (database / "TestSrv.log").string() + "\n", run.errors);
  EXPECT_TRUE(WaitForText(database / "TestSrv.log", "end: harness exit status 0", 1));
}

// A stop signal ends the run after three passes; the JSON summary, the JUnit report and the
// summary text still cover them, marked as interrupted.
TEST(TrustedAnswersE2eTest, RecordsAreFinishedWhenAStopSignalEndsTheRun) {
  EngineFolderCopy folder;
  const std::filesystem::path log = folder.path() / "starts.log";
  const std::filesystem::path plan = folder.Write("plan.txt", "exit 0\nexit 1\nsleep 600000\n");
  BackgroundProgram harness(BuiltProgram("testkve"),
                            {"/NH", "/RUN=5", "/JSON=run.jsonl", "/JUNIT=report.xml", "/SUMMARY"}, folder.path(),
                            {{"VXR_REF_START_LOG", log.string()}, {"VXR_REF_PLAN", plan.string()}});
  ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStarts(log).size() == 3; }));
  harness.Signal(SIGTERM);
  const ProgramRun run = harness.Wait();
  EXPECT_EQ(128 + SIGTERM, run.exit_code) << run.errors;
  EXPECT_NE(std::string::npos,
            run.output.find("Error Code: 0xc000000f\nRun summary: 3 passes, 0 timed out, interrupted by a stop signal\n"
                            "  0x1: 1\n  0xc000000f: 1\n  VXR_LIB_SUCCESS: 1\n"))
      << run.output;
  EXPECT_EQ("summary 3 True\n", Python(R"(
import json, sys
last = json.loads(open(sys.argv[1]).read().splitlines()[-1])
print(last['record'], last['passes'], last['interrupted'])
)",
                                       folder.path() / "run.jsonl"));
  EXPECT_EQ("3 2 true\n", Python(R"(
import sys, xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot().find('testsuite')
marks = [p.get('value') for p in suite.iter('property') if p.get('name') == 'interrupted']
print(suite.get('tests'), suite.get('failures'), *marks)
)",
                                 folder.path() / "report.xml"));
}

TEST(TrustedAnswersE2eTest, JUnitCarriesTheHostAndEachFailuresFigures) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(folder.path(), {"/RUN=2", "/JUNIT=report.xml"}, {{"VXR_REF_EXITS", "0,1"}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ("True\nError Code: 0x1 True\n", Python(R"(
import socket, sys, xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot().find('testsuite')
print(suite.get('hostname') == socket.gethostname())
for failure in suite.iter('failure'):
    lines = failure.text.split('\n')
    print(lines[0], lines[1].startswith('result 0x1, wall ') and lines[1].endswith(' KiB'))
)",
                                                   folder.path() / "report.xml"));
}

// The loop counters of the names assigned, in order ("TROJ_A" alone is the process's first).
std::vector<int> SelectedRepetitions(const std::string& output) {
  std::vector<int> counters;
  const std::string prefix = "Assign Pattern: TROJ_A";
  for (const std::string& line : Lines(output)) {
    if (!line.starts_with(prefix)) continue;
    counters.push_back(line.size() == prefix.size() ? 0 : std::stoi(line.substr(prefix.size())));
  }
  return counters;
}

// /SEED makes selection call k seed with n + k: the same seed gives the same run, every seed is
// in its pass's record, and the first is told.
TEST(TrustedAnswersE2eTest, ASeededRandomSelectionReplays) {
  EngineFolderCopy folder;
  const std::vector<std::string> options = {"/RUN=3",  "/LOOP=40", "/RANDOM=3",      "/ASSIGN=TROJ_A",
                                            "/SEED=7", "/SUMMARY", "/JSON=run.jsonl"};
  const ProgramRun first = Harness(folder.path(), options);
  EXPECT_EQ(0, first.exit_code) << first.errors;
  EXPECT_EQ("Random seed: 7\n", first.errors);
  EXPECT_NE(std::string::npos, first.output.find("Random seed: 7\n")) << first.output;
  EXPECT_EQ("[7]\n[8]\n[9]\n", Python(R"(
import json, sys
for text in open(sys.argv[1]):
    line = json.loads(text)
    if line['record'] == 'pass':
        print(line['random_seeds'])
)",
                                      folder.path() / "run.jsonl"));
  const ProgramRun again = Harness(folder.path(), options);
  EXPECT_EQ(9u, SelectedRepetitions(first.output).size());
  EXPECT_EQ(SelectedRepetitions(first.output), SelectedRepetitions(again.output));
  // Pass 2 of the run from seed 7 selects as the first pass of a run from seed 8; its names
  // count on from the first pass's 40 repetitions.
  std::vector<std::string> from_eight = options;
  from_eight[0] = "/RUN=1";
  from_eight[4] = "/SEED=8";
  const ProgramRun eight = Harness(folder.path(), from_eight);
  EXPECT_EQ("Random seed: 8\n", eight.errors);
  const std::vector<int> seven = SelectedRepetitions(first.output);
  ASSERT_EQ(9u, seven.size());
  EXPECT_EQ(std::vector<int>({seven[3] - 40, seven[4] - 40, seven[5] - 40}), SelectedRepetitions(eight.output));
}

TEST(TrustedAnswersE2eTest, AMissingEngineIsNamedWithItsFolder) {
  EngineFolderCopy folder;
  TempFolder empty;
  const ProgramRun run = Harness(folder.path(), {"/VXRPATH=" + empty.str(), "/X64"});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_NE(std::string::npos, run.output.find("Error Code: VXR_LIB_INVALID_VXREXE\n")) << run.output;
  EXPECT_EQ("testkve: no engine file vxr64.exe in the engine folder " + empty.str() + " (set it with /VXRPATH=)\n",
            run.errors);
  EXPECT_EQ("", Harness(folder.path(), {}).errors) << "an engine that is there draws nothing";
}

// Runs testkve with `options` in `folder`, its standard error on a pseudo-terminal; what the
// terminal received.
std::string RunOnTerminal(const std::filesystem::path& folder, const std::vector<std::string>& options) {
  int terminal = -1;
  int device = -1;
  if (openpty(&terminal, &device, nullptr, nullptr, nullptr) != 0) return "openpty failed";
  const std::string program = BuiltProgram("testkve");
  std::vector<std::string> args = {program, "/NH"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (chdir(folder.c_str()) != 0 || dup2(device, 2) < 0 || dup2(null, 1) < 0) _exit(127);
    setenv("TERM", "xterm", 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(device);
  std::string received;
  char buffer[4096];
  // The terminal reads end (EIO) once the last holder of its other side, the harness, is gone.
  for (;;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got > 0) {
      received.append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(terminal);
  waitpid(pid, nullptr, 0);
  return received;
}

TEST(TrustedAnswersE2eTest, AStressRunShowsItsProgressOnlyOnATerminal) {
  EngineFolderCopy folder;
  const std::string shown = RunOnTerminal(folder.path(), {"/RUN=3"});
  for (const char* progress : {"\r\x1b[KPass 1 of 3, 0 failed, 0:", "\r\x1b[KPass 2 of 3, 0 failed, 0:",
                               "\r\x1b[KPass 3 of 3, 0 failed, 0:"}) {
    EXPECT_NE(std::string::npos, shown.find(progress)) << shown;
  }
  EXPECT_NE(std::string::npos, shown.find(" left")) << shown;
  EXPECT_TRUE(shown.ends_with("\r\x1b[K")) << "the line is taken away at the end";
  const std::string failing = RunOnTerminal(folder.path(), {"/RUN=2", "/VXRPATH=nowhere"});
  EXPECT_NE(std::string::npos, failing.find("\r\x1b[KPass 2 of 2, 2 failed, 0:")) << failing;

  const ProgramRun piped = Harness(folder.path(), {"/RUN=3"});
  EXPECT_EQ("", piped.errors);
}

}  // namespace
