// The harness against a hostile world: stopped from outside while its engine runs, started
// with a standard stream closed, two harnesses in one folder, links planted in the report
// folder. Each case runs the built testkve against the reference engine.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "settings_witness.h"
#include "support/background_program.h"
#include "support/engine_start_log.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

// The process IDs that the reference engine logged at each start (VXR_REF_START_LOG).
TEST(EngineRunGuardE2eTest, AStopSignalEndsTheEngineFirstAndTheHarnessWith128PlusIt) {
  // The harness shares its terminal with the engine; the detached engine's process group is
  // covered by the library's launch test.
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    EngineFolderCopy folder;
    const std::filesystem::path log = folder.path() / "starts.log";
    BackgroundProgram harness(BuiltProgram("testkve"), {"/NH"}, folder.path(),
                              {{"VXR_REF_SLEEP_MS", "600000"}, {"VXR_REF_START_LOG", log}});
    ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
    const int engine = EngineStartPids(log).front();
    harness.Signal(signal);
    const ProgramRun run = harness.Wait();
    EXPECT_EQ(128 + signal, run.exit_code) << run.errors;
    char code[32];
    std::snprintf(code, sizeof code, "0x%x", 0xC0000000u + static_cast<unsigned>(signal));
    EXPECT_TRUE(run.output.ends_with("Launch KVE program\nError Code: " + std::string(code) + "\n")) << run.output;
    // The harness reaps its engine before it exits.
    EXPECT_FALSE(IsRunning(engine));
  }
}

// In interactive mode and pattern list mode too the stop ends the run at once: no prompt, no
// pattern list and no quit after the stopped engine.
TEST(EngineRunGuardE2eTest, AStopSignalEndsInteractiveAndPatternListModesAlike) {
  struct ModeCase {
    std::vector<std::string> args;
    std::string input;
  };
  const ModeCase cases[] = {{{"/NH", "/DEBUG", "/INTERACT"}, "/EXECUTE\n/QUIT\n"}, {{"/NH", "/DEBUG", "/PL"}, ""}};
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.args.back());
    EngineFolderCopy folder;
    const std::filesystem::path log = folder.path() / "starts.log";
    BackgroundProgram harness(BuiltProgram("testkve"), c.args, folder.path(),
                              {{"VXR_REF_SLEEP_MS", "600000"}, {"VXR_REF_START_LOG", log}}, c.input);
    ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
    harness.Signal(SIGTERM);
    const ProgramRun run = harness.Wait();
    EXPECT_EQ(128 + SIGTERM, run.exit_code) << run.errors;
    EXPECT_TRUE(run.output.ends_with("<<< VXRExecute() : -1073741809\nError Code: 0xc000000f\n")) << run.output;
  }
}

TEST(EngineRunGuardE2eTest, AHarnessKilledOutrightTakesItsEngineAlong) {
  EngineFolderCopy folder;
  const std::filesystem::path log = folder.path() / "starts.log";
  BackgroundProgram harness(BuiltProgram("testkve"), {"/NH"}, folder.path(),
                            {{"VXR_REF_SLEEP_MS", "600000"}, {"VXR_REF_START_LOG", log}});
  ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
  harness.Signal(SIGKILL);
  EXPECT_EQ(SIGKILL, harness.Wait().signal);
  EXPECT_TRUE(WaitFor(kEventBoundSeconds, [&] { return !IsRunning(EngineStartPids(log).front()); }));
}

// The process ID a helper of the engine wrote (VXR_REF_HELPER), 0 while it has not.
int HelperPid(const std::filesystem::path& file) {
  const std::string text = ReadFile(file);
  return text.ends_with("\n") ? std::stoi(text) : 0;
}

// A helper that left the engine's group and session, as a daemon does, ends with the harness
// that was killed outright, and with an engine run that ended on its own.
TEST(EngineRunGuardE2eTest, TheEnginesWholeTreeEndsWithTheHarness) {
  EngineFolderCopy folder;
  const std::filesystem::path helper = folder.path() / "helper.pid";
  BackgroundProgram harness(BuiltProgram("testkve"), {"/NH"}, folder.path(),
                            {{"VXR_REF_SLEEP_MS", "20000"}, {"VXR_REF_HELPER", helper}});
  ASSERT_TRUE(WaitFor(20, [&] { return HelperPid(helper) != 0; }));
  const int killed_with_harness = HelperPid(helper);
  EXPECT_TRUE(IsRunning(killed_with_harness));
  harness.Signal(SIGKILL);
  EXPECT_EQ(SIGKILL, harness.Wait().signal);
  EXPECT_TRUE(WaitFor(20, [&] { return !IsRunning(killed_with_harness); }));

  std::filesystem::remove(helper);
  const ProgramRun run =
      RunProgram(BuiltProgram("testkve"), {"/NH"}, {folder.path(), "", {{"VXR_REF_HELPER", helper.string()}}});
  EXPECT_EQ(0u, CountOf(run.output, "Error Code")) << run.output;
  ASSERT_NE(0, HelperPid(helper));
  // Ended and reaped before the engine's run was reported.
  EXPECT_FALSE(IsRunning(HelperPid(helper)));
}

// An engine that moved into its starter's process group is still ended: by a time limit, by a
// stop of the harness and with a harness killed outright.
TEST(EngineRunGuardE2eTest, AnEngineThatJoinsItsStartersGroupIsEndedAllTheSame) {
  struct StopCase {
    const char* name;
    std::vector<std::string> args;
    int signal;  // sent to the harness once the engine runs; 0: none
    int exit_code;
  };
  const StopCase cases[] = {
      {"time limit", {"/NH", "/TIMEOUT=2"}, 0, 0},
      {"SIGTERM", {"/NH"}, SIGTERM, 128 + SIGTERM},
      {"SIGKILL", {"/NH"}, SIGKILL, -1},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    EngineFolderCopy folder;
    const std::filesystem::path log = folder.path() / "starts.log";
    BackgroundProgram harness(
        BuiltProgram("testkve"), c.args, folder.path(),
        {{"VXR_REF_JOIN_PARENT_GROUP", "1"}, {"VXR_REF_SLEEP_MS", "600000"}, {"VXR_REF_START_LOG", log}});
    ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return EngineStartPids(log).size() == 1; }));
    const int engine = EngineStartPids(log).front();
    if (c.signal != 0) harness.Signal(c.signal);
    const ProgramRun run = harness.Wait();
    if (c.signal == SIGKILL) {
      EXPECT_EQ(SIGKILL, run.signal);
      EXPECT_TRUE(WaitFor(kEventBoundSeconds, [&] { return !IsRunning(engine); }));
      continue;
    }
    EXPECT_EQ(c.exit_code, run.exit_code) << run.errors;
    if (c.signal == 0) {
      EXPECT_NE(std::string::npos, run.output.find("Engine timed out after 2 s\n")) << run.output;
    }
    EXPECT_FALSE(IsRunning(engine));
  }
}

// A starter that its engine killed or stopped is noticed: the pass fails, the time limit
// holds, and nothing of the engine's tree is left, not even a daemon that left its session.
TEST(EngineRunGuardE2eTest, AStarterKilledOrStoppedByItsEngineFailsThePassAndLeavesNothing) {
  struct StarterCase {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> environment;
    std::string pass_end;
  };
  const StarterCase cases[] = {
      {"killed", {"/NH"}, {{"VXR_REF_PARENT_SIGNAL", "9"}}, "Error Code: VXR_LIB_WAIT_FAIL\n"},
      {"stopped, the engine ends", {"/NH"}, {{"VXR_REF_PARENT_SIGNAL", "19"}}, "Error Code: VXR_LIB_WAIT_FAIL\n"},
      {"stopped, under a time limit",
       {"/NH", "/TIMEOUT=3"},
       {{"VXR_REF_PARENT_SIGNAL", "19"}, {"VXR_REF_SLEEP_MS", "600000"}},
       "Engine timed out after 3 s\nError Code: VXR_LIB_WAIT_FAIL\n"},
  };
  for (const StarterCase& c : cases) {
    SCOPED_TRACE(c.name);
    EngineFolderCopy folder;
    const std::filesystem::path helper = folder.path() / "helper.pid";
    std::map<std::string, std::string> environment = c.environment;
    environment["VXR_REF_HELPER"] = helper.string();
    BackgroundProgram harness(BuiltProgram("testkve"), c.args, folder.path(), environment);
    const ProgramRun run = harness.Wait();
    EXPECT_EQ(0, run.exit_code) << run.errors;
    EXPECT_TRUE(run.output.ends_with("Launch KVE program\n" + c.pass_end)) << run.output;
    ASSERT_NE(0, HelperPid(helper));
    EXPECT_FALSE(IsRunning(HelperPid(helper)));
  }
}

// The run record says whether the engine's whole tree was held. Where the system refuses the
// engine starter (here a file-size limit below the starter's size, so that its in-memory copy
// cannot be written), the engine is the harness's own child: its process group still ends with
// the pass, but a helper that left the group and session, as a daemon does, outlives the run.
TEST(EngineRunGuardE2eTest, TheRunRecordSaysWhetherTheEnginesTreeWasContained) {
  struct ContainmentCase {
    const char* name;
    const char* limit;
    const char* record;
    bool helper_outlives;
  };
  const ContainmentCase cases[] = {
      {"the engine starter", "", "\"contained\":true", false},
      {"the starter refused", "ulimit -f 256;", "\"contained\":false", true},
  };
  for (const ContainmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    EngineFolderCopy folder;
    const std::filesystem::path helper = folder.path() / "helper.pid";
    const ProgramRun run = RunProgram(
        "/bin/bash", {"-c", std::string(c.limit) + " exec \"$0\" /NH /JSON=run.jsonl", BuiltProgram("testkve")},
        {folder.path(), "", {{"VXR_REF_HELPER", helper.string()}}});
    EXPECT_EQ(0, run.exit_code) << run.errors;
    EXPECT_EQ(1u, CountOf(ReadFile(folder.path() / "run.jsonl"), c.record)) << ReadFile(folder.path() / "run.jsonl");
    const int helper_pid = HelperPid(helper);
    ASSERT_NE(0, helper_pid);
    EXPECT_EQ(c.helper_outlives, IsRunning(helper_pid));
    if (IsRunning(helper_pid)) kill(helper_pid, SIGKILL);
  }
}

// Runs argv[2:] in a session of its own whose controlling terminal is a new pseudo-terminal;
// its standard input is that terminal (argv[1] "terminal") or an empty pipe ("pipe"). Prints
// its output and "exit <status>", and its errors on standard error.
constexpr const char* kOnATerminal = R"(
import fcntl, os, subprocess, sys, termios
master, terminal = os.openpty()
def take_terminal():
    os.setsid()
    fcntl.ioctl(terminal, termios.TIOCSCTTY, 0)
stdin = {"stdin": terminal} if sys.argv[1] == "terminal" else {"input": b""}
run = subprocess.run(sys.argv[2:], capture_output=True, preexec_fn=take_terminal, **stdin)
sys.stdout.write(run.stdout.decode() + "exit %d\n" % run.returncode)
sys.stderr.write(run.stderr.decode())
)";

// An engine that reads the terminal it shares from the background is stopped there by the
// system; the harness ends it and says how to run it instead, which then works.
TEST(EngineRunGuardE2eTest, AnEngineThatReadsTheTerminalIsEndedWithAMessage) {
  const std::string message = "testkve: the engine stopped reading the terminal; give it standard input with `<`\n";
  for (const std::string stdin_kind : {"terminal", "pipe"}) {
    SCOPED_TRACE(stdin_kind);
    EngineFolderCopy folder;
    const ProgramRun run =
        RunProgram("/usr/bin/python3", {"-c", kOnATerminal, stdin_kind, BuiltProgram("testkve"), "/NH"},
                   {folder.path(), "", {{"VXR_REF_READ_INPUT", "1"}}});
    if (stdin_kind == "terminal") {
      EXPECT_TRUE(run.output.ends_with("Launch KVE program\nError Code: 0xc0000009\nexit 0\n")) << run.output;
      EXPECT_EQ(message, run.errors);
    } else {
      EXPECT_TRUE(run.output.ends_with("Launch KVE program\nexit 0\n")) << run.output << run.errors;
      EXPECT_EQ("", run.errors);
    }
  }
}

TEST(EngineRunGuardE2eTest, AClosedStandardOutputIsNullInTheEngine) {
  EngineFolderCopy folder;
  BackgroundProgram harness(BuiltProgram("testkve"), {"/NH"}, folder.path(), {{"VXR_REF_FD_REPORT", "1"}}, "",
                            /*close_output=*/true);
  // The engine runs all the same; the harness's own output was lost, and its status says so.
  EXPECT_EQ(1, harness.Wait().exit_code);
  EXPECT_EQ((std::vector<std::string>{"0", "1", "2"}), ReadLines(folder.path() / "report" / "streams.txt"));
  EXPECT_EQ(std::vector<std::string>{}, ReadLines(folder.path() / "report" / "fds.txt"));
}

TEST(EngineRunGuardE2eTest, ASecondEngineInTheSameReportFolderRefusesToRun) {
  EngineFolderCopy folder;
  const std::filesystem::path report = folder.path() / "report" / "settings.txt";
  // The first engine keeps the folder locked until the second harness has run.
  const std::filesystem::path hold = folder.Write("hold", "");
  BackgroundProgram first(BuiltProgram("testkve"), {"/NH"}, folder.path(), {{"VXR_REF_HOLD_FILE", hold.string()}});
  ASSERT_TRUE(WaitFor(kEventBoundSeconds, [&] { return std::filesystem::exists(report); }));
  const ProgramRun second = RunProgram(BuiltProgram("testkve"), {"/NH"}, {folder.path()});
  std::filesystem::remove(hold);
  EXPECT_EQ("Launch KVE program\nError Code: VXR_RET_INIT_EXIST_INSTANCE\n",
            second.output.substr(second.output.find("Launch")));
  const ProgramRun first_run = first.Wait();
  EXPECT_EQ(std::string::npos, first_run.output.find("Error Code")) << first_run.output;
  EXPECT_EQ(DefaultPresetLines(folder.path()), ReceivedSettings(folder.path()));
}

TEST(EngineRunGuardE2eTest, TwoHarnessesInOneFolderLeaveOnlyWholeReports) {
  EngineFolderCopy folder;
  BackgroundProgram first(BuiltProgram("testkve"), {"/NH", "/RUN=60"}, folder.path());
  BackgroundProgram second(BuiltProgram("testkve"), {"/NH", "/RUN=60"}, folder.path());
  for (BackgroundProgram* harness : {&first, &second}) {
    const ProgramRun run = harness->Wait();
    EXPECT_EQ(0, run.exit_code);
    // A pass either ran or met the other harness's engine; nothing else.
    const size_t errors = CountOf(run.output, "Error Code:");
    EXPECT_EQ(errors, CountOf(run.output, "Error Code: VXR_RET_INIT_EXIST_INSTANCE\n")) << run.output;
  }
  EXPECT_EQ(DefaultPresetLines(folder.path()), ReceivedSettings(folder.path()));
  for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "report")) {
    EXPECT_EQ("settings.txt", entry.path().filename()) << "left behind";
  }
}

TEST(EngineRunGuardE2eTest, ALinkPlantedInTheReportFolderIsNotFollowed) {
  EngineFolderCopy folder;
  const std::filesystem::path victim = folder.Write("victim", "keep me\n");
  std::filesystem::create_directory(folder.path() / "report");
  std::filesystem::create_symlink(victim, folder.path() / "report" / "settings.txt");
  const ProgramRun run = RunProgram(BuiltProgram("testkve"), {"/NH"}, {folder.path()});
  EXPECT_EQ(std::string::npos, run.output.find("Error Code")) << run.output;
  EXPECT_EQ("keep me\n", ReadFile(victim));
  EXPECT_FALSE(std::filesystem::is_symlink(folder.path() / "report" / "settings.txt"));
  EXPECT_EQ(DefaultPresetLines(folder.path()), ReceivedSettings(folder.path()));
}

TEST(EngineRunGuardE2eTest, AReportFolderThatIsALinkIsRefused) {
  EngineFolderCopy folder;
  std::filesystem::create_directory(folder.path() / "elsewhere");
  std::filesystem::create_directory_symlink(folder.path() / "elsewhere", folder.path() / "report");
  const ProgramRun run = RunProgram(BuiltProgram("testkve"), {"/NH"}, {folder.path()});
  // 68: the reference engine's "report cannot be written".
  EXPECT_TRUE(run.output.ends_with("Error Code: 0x44\n")) << run.output;
  EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "elsewhere"));
}

}  // namespace
