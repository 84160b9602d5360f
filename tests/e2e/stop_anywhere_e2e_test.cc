// A run stopped at any moment, or whose output is lost, still leaves its records: a stop signal
// between passes, in the monitor's pauses or at the interactive prompt ends it like one during an
// engine run (records written, marked as interrupted, exit 128 + n); a closed output pipe or the
// file-size limit is lost output (a message, exit 1), never a silent death.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/background_program.h"
#include "support/file_watch.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPassRecord[] = "\"record\":\"pass\"";
constexpr char kInterruptedSummary[] = "\"interrupted\":true";
constexpr char kInterruptedJUnit[] = "<property name=\"interrupted\" value=\"true\"/>";

// Lines of a JSON Lines file that do not end with a line feed or are not one whole record.
size_t CutLines(const std::string& text) {
  size_t cut = !text.empty() && !text.ends_with('\n') ? 1 : 0;
  for (const std::string& line : Lines(text)) {
    if (!line.starts_with("{\"record\":") || !line.ends_with('}')) ++cut;
  }
  return cut;
}

// What every stop must leave: the exit status 128 + n, and both records whole, each telling
// the passes that ran and that the run was interrupted.
void ExpectInterruptedRecords(const ProgramRun& run, int signal, const fs::path& json, const fs::path& junit) {
  EXPECT_EQ(128 + signal, run.exit_code) << run.errors;
  const std::string lines = ReadFile(json);
  EXPECT_EQ(1u, CountOf(lines, kInterruptedSummary)) << lines.substr(lines.size() > 400 ? lines.size() - 400 : 0);
  EXPECT_EQ(0u, CutLines(lines));
  const std::string report = ReadFile(junit);
  EXPECT_EQ(1u, CountOf(report, kInterruptedJUnit)) << report.substr(0, 400);
  EXPECT_EQ(CountOf(lines, kPassRecord), CountOf(report, "<testcase ")) << "both records hold every pass that ran";
}

// A stop can come between two passes, where no engine runs, as easily as during one: many stops,
// each after a different number of passes, hit both. Wherever one lands, the records are there.
TEST(StopAnywhereE2eTest, AStopBetweenPassesLeavesTheRecords) {
  const int signals[] = {SIGTERM, SIGINT, SIGHUP};
  for (int trial = 0; trial < 24; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    EngineFolderCopy folder;
    BackgroundProgram harness(BuiltProgram("testkve"), {"/NH", "/RUN=1000000", "/JUNIT=s.xml", "/JSON=s.jsonl"},
                              folder.path());
    // The harness has started its run once a pass is recorded.
    ASSERT_TRUE(WaitForText(folder.path() / "s.jsonl", kPassRecord, 1 + trial % 4));
    const int signal = signals[trial % 3];
    harness.Signal(signal);
    ExpectInterruptedRecords(harness.Wait(), signal, folder.path() / "s.jsonl", folder.path() / "s.xml");
  }
}

// The pauses of /PERFMON after a pass are waits of the harness's own: a stop there ends them.
TEST(StopAnywhereE2eTest, AStopInTheMonitorsPauseLeavesTheRecords) {
  EngineFolderCopy folder;
  BackgroundProgram harness(BuiltProgram("testkve"),
                            {"/NH", "/PERFMON", "/RUN=3", "/JUNIT=p.xml", "/JSON=p.jsonl", "/REPORT=p.html"},
                            folder.path());
  // The first engine run has ended; the harness waits five seconds before the next pass.
  ASSERT_TRUE(WaitForText(folder.path() / "PerfReport" / "perfCounter.log", "KVE Finished", 1));
  harness.Signal(SIGTERM);
  const ProgramRun run = harness.Wait();
  ExpectInterruptedRecords(run, SIGTERM, folder.path() / "p.jsonl", folder.path() / "p.xml");
  EXPECT_EQ(1u, CountOf(ReadFile(folder.path() / "p.html"), "Stopped by SIGTERM after "));
}

// At the prompt the harness waits for a line; a stop ends that wait and the run.
TEST(StopAnywhereE2eTest, AStopAtThePromptLeavesTheRecords) {
  EngineFolderCopy folder;
  const fs::path input = folder.path() / "input";
  ASSERT_EQ(0, mkfifo(input.c_str(), 0600));
  // Held open for writing, so the harness's standard input never ends.
  const int writer = open(input.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_LE(0, writer);
  BackgroundProgram harness(
      "/bin/sh", {"-c", "exec \"$0\" /NH /INTERACT /JUNIT=i.xml /JSON=i.jsonl <input", BuiltProgram("testkve")},
      folder.path());
  const std::string line = "/EXECUTE\n";
  ASSERT_EQ(static_cast<ssize_t>(line.size()), write(writer, line.data(), line.size()));
  ASSERT_TRUE(WaitForText(folder.path() / "i.jsonl", kPassRecord, 1));
  harness.Signal(SIGTERM);
  const ProgramRun run = harness.Wait();
  close(writer);
  ExpectInterruptedRecords(run, SIGTERM, folder.path() / "i.jsonl", folder.path() / "i.xml");
  EXPECT_EQ(1u, CountOf(ReadFile(folder.path() / "i.jsonl"), kPassRecord));
}

// A reader of the output that goes away early (| head) loses the output, not the records.
TEST(StopAnywhereE2eTest, AClosedOutputPipeIsLostOutputAndTheRecordsAreWritten) {
  EngineFolderCopy folder;
  // /DEBUG prints many lines a pass: far more than a pipe holds, so writes come after head left.
  const ProgramRun run =
      RunProgram("/bin/bash",
                 {"-c",
                  "\"$0\" /NH /DEBUG /RUN=300 /JUNIT=p.xml /JSON=p.jsonl /STRICT 2>errors | head -2 >/dev/null; "
                  "echo \"status ${PIPESTATUS[0]}\"",
                  BuiltProgram("testkve")},
                 {folder.path()});
  EXPECT_EQ("status 1\n", run.output) << run.errors;
  EXPECT_EQ(1u, CountOf(ReadFile(folder.path() / "errors"), "testkve: cannot write standard output: "))
      << ReadFile(folder.path() / "errors");
  EXPECT_EQ(300u, CountOf(ReadFile(folder.path() / "p.jsonl"), kPassRecord));
  EXPECT_EQ(300u, CountOf(ReadFile(folder.path() / "p.xml"), "<testcase "));
}

// The file-size limit cuts the JSON record short: that is said, the file keeps only whole lines,
// the other records are written, and the exit status is 1 even without /STRICT.
TEST(StopAnywhereE2eTest, TheFileSizeLimitIsLostOutputAndTheOtherRecordsAreWritten) {
  EngineFolderCopy folder;
  // 8 KiB holds about 35 pass lines of JSON, and the whole JUnit report of 50 passes.
  const ProgramRun run =
      RunProgram("/bin/bash",
                 {"-c", "ulimit -f 8; \"$0\" /NH /RUN=50 /JUNIT=f.xml /JSON=f.jsonl >/dev/null; echo \"status $?\"",
                  BuiltProgram("testkve")},
                 {folder.path()});
  EXPECT_EQ("status 1\n", run.output) << run.errors;
  EXPECT_EQ(1u, CountOf(run.errors, "TestKVE: cannot write f.jsonl: File too large")) << run.errors;
  const std::string lines = ReadFile(folder.path() / "f.jsonl");
  EXPECT_EQ(0u, CutLines(lines));
  EXPECT_LT(CountOf(lines, kPassRecord), 50u);
  EXPECT_EQ(50u, CountOf(ReadFile(folder.path() / "f.xml"), "<testcase "));
}

// The signal mask bits of `field` ("SigIgn", ...) in /proc/<pid>/status; all ones when it cannot
// be read, which no check below takes for an answer.
unsigned long long SignalBits(int pid, const std::string& field) {
  for (const std::string& line : ReadLines("/proc/" + std::to_string(pid) + "/status")) {
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
  }
  return ~0ull;
}

// The harness ignores SIGPIPE and SIGXFSZ for itself only: its engine starts with the defaults.
TEST(StopAnywhereE2eTest, TheEngineStartsWithTheDefaultActionsForLostOutput) {
  EngineFolderCopy folder;
  const fs::path log = folder.path() / "starts.log";
  folder.Write("plan", "sleep 60000\n");
  BackgroundProgram harness(BuiltProgram("testkve"), {"/NH"}, folder.path(),
                            {{"VXR_REF_PLAN", (folder.path() / "plan").string()}, {"VXR_REF_START_LOG", log}});
  ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return !ReadLines(log).empty(); }));
  const int engine = std::stoi(ReadLines(log).front());
  const unsigned long long lost_output = (1ull << (SIGPIPE - 1)) | (1ull << (SIGXFSZ - 1));
  EXPECT_EQ(lost_output, SignalBits(harness.pid(), "SigIgn") & lost_output);
  EXPECT_NE(~0ull, SignalBits(engine, "SigIgn"));
  EXPECT_EQ(0u, SignalBits(engine, "SigIgn") & lost_output);
  harness.Signal(SIGTERM);
  EXPECT_EQ(128 + SIGTERM, harness.Wait().exit_code);
}

}  // namespace
