#include "platform/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Kind = platform::ProcessOutcome::Kind;

platform::ProcessOutcome RunShell(const std::string& script,
                                  platform::ConsoleMode mode = platform::ConsoleMode::kShared) {
  const std::vector<std::string> argv = {"/bin/sh", "-c", script};
  return platform::ChildProcess::Spawn(argv, mode).Wait();
}

TEST(ChildProcessTest, KeepsTheWaysAChildEndsApart) {
  struct Case {
    std::string script;
    Kind kind;
    int code;
  } cases[] = {
      {"exit 0", Kind::kExited, 0},           {"exit 3", Kind::kExited, 3},          {"exit 255", Kind::kExited, 255},
      {"kill -TERM $$", Kind::kSignaled, 15}, {"kill -KILL $$", Kind::kSignaled, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    platform::ProcessOutcome outcome = RunShell(c.script);
    EXPECT_EQ(c.kind, outcome.kind);
    EXPECT_EQ(c.code, outcome.code);
  }
}

TEST(ChildProcessTest, StartFailuresAreReportedWithTheirErrno) {
  TempFolder scratch;
  const std::filesystem::path not_executable = scratch.Write("plain.txt", "#!/bin/sh\nexit 0\n");
  const std::filesystem::path folder = scratch.path() / "folder";
  std::filesystem::create_directory(folder);
  struct Case {
    std::string path;
    int error;
  } cases[] = {
      {(scratch.path() / "missing").string(), ENOENT},
      {not_executable.string(), EACCES},
      {folder.string(), EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::vector<std::string> argv = {c.path};
    platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
    EXPECT_FALSE(child.started());
    platform::ProcessOutcome outcome = child.Wait();
    EXPECT_EQ(Kind::kNotStarted, outcome.kind);
    EXPECT_EQ(c.error, outcome.code);
  }
}

TEST(ChildProcessTest, ArgumentsArriveUnchangedWithoutAShell) {
  TempFolder scratch;
  const std::filesystem::path out = scratch.path() / "args.txt";
  const std::vector<std::string> argv = {"/bin/sh", "-c", "printf '%s|' \"$@\" > \"$0\"", out.string(), "a b", "$HOME",
                                         "\"q\"",   ""};
  EXPECT_EQ(Kind::kExited, platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared).Wait().kind);
  EXPECT_EQ("a b|$HOME|\"q\"||", ReadFile(out));
}

TEST(ChildProcessTest, DetachedChildLeadsItsOwnSessionWithStreamsOnDevNull) {
  TempFolder scratch;
  const std::filesystem::path out = scratch.path() / "probe.txt";
  // The fourth field after the command name in /proc/<pid>/stat is the session ID.
  // The streams are read before the shell's own redirection changes them.
  const std::string probe =
      "streams=$(for fd in 0 1 2; do readlink /proc/$$/fd/$fd; done); "
      "set -- $(cut -d')' -f2 /proc/$$/stat); "
      "if [ \"$4\" = $$ ]; then role=leader; else role=member; fi; "
      "printf '%s\\n%s\\n' \"$streams\" $role > '" +
      out.string() + "'";
  EXPECT_EQ(0, RunShell(probe, platform::ConsoleMode::kDetached).code);
  EXPECT_EQ("/dev/null\n/dev/null\n/dev/null\nleader\n", ReadFile(out));

  EXPECT_EQ(0, RunShell(probe, platform::ConsoleMode::kShared).code);
  EXPECT_TRUE(ReadFile(out).ends_with("member\n")) << ReadFile(out);
}

TEST(ChildProcessTest, NoDescriptorOfTheParentReachesTheChild) {
  TempFolder scratch;
  // stdio opens without close-on-exec: exactly the kind of descriptor that must not leak.
  std::FILE* inheritable = std::fopen((scratch.path() / "open.txt").c_str(), "w");
  ASSERT_NE(nullptr, inheritable);
  const std::string fd = std::to_string(fileno(inheritable));
  platform::ProcessOutcome outcome = RunShell("test -e /proc/$$/fd/" + fd);
  std::fclose(inheritable);
  EXPECT_EQ(Kind::kExited, outcome.kind);
  EXPECT_EQ(1, outcome.code) << "descriptor " << fd << " was inherited";
}

TEST(ChildProcessTest, WaitRepeatsTheOutcome) {
  const std::vector<std::string> argv = {"/bin/sh", "-c", "exit 7"};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(7, child.Wait().code);
  EXPECT_EQ(7, child.Wait().code);
  EXPECT_FALSE(child.started());
}

TEST(ChildProcessTest, AChildNeverWaitedForIsKilledAndReaped) {
  const std::vector<std::string> argv = {"/bin/sleep", "30"};
  int pid = 0;
  {
    platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
    ASSERT_TRUE(child.started());
    pid = child.process_id();
    ASSERT_TRUE(std::filesystem::exists("/proc/" + std::to_string(pid)));
  }
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

TEST(ProcessTest, OwnIdAndOpenHandleNumbers) {
  EXPECT_EQ(std::filesystem::read_symlink("/proc/self").string(), std::to_string(platform::CurrentProcessId()));

  TempFolder scratch;
  std::FILE* file = std::fopen((scratch.path() / "open.txt").c_str(), "w");
  ASSERT_NE(nullptr, file);
  const int fd = fileno(file);
  std::vector<int> open = platform::OpenHandleNumbers();
  std::fclose(file);
  EXPECT_NE(open.end(), std::find(open.begin(), open.end(), fd));
  std::vector<int> after = platform::OpenHandleNumbers();
  EXPECT_EQ(after.end(), std::find(after.begin(), after.end(), fd));
  EXPECT_EQ(open.size(), after.size() + 1);
}

}  // namespace

namespace {

using std::chrono::milliseconds;

// Makes this process the reaper of the orphans of its descendants while it lives, so that a
// test waits for them itself rather than for init, which may reap late or not at all.
class OrphanReaper {
 public:
  OrphanReaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
  ~OrphanReaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  OrphanReaper(const OrphanReaper&) = delete;
  OrphanReaper& operator=(const OrphanReaper&) = delete;

  /// Reaps every member of `group` left after its leader was reaped (each is a child of ours
  /// by then); true when all of them have ended, false when one still runs after a bound
  /// that only a member that was never killed reaches.
  bool ReapGroup(int group) const {
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      const pid_t done = waitpid(-group, nullptr, WNOHANG);
      if (done < 0 && errno == ECHILD) return true;
      if (done > 0) continue;
      if (std::chrono::steady_clock::now() > bound) return false;
      usleep(1000);
    }
  }
};

// Starts `script` and puts a limit on it only once it has written `ready` to its folder,
// so that the limit never fires before the script has set itself up.
platform::TimedWaitResult RunShellFor(const std::string& script, platform::ConsoleMode mode,
                                      std::optional<milliseconds> limit, int* group) {
  TempFolder folder;
  const std::vector<std::string> argv = {"/bin/sh", "-c", script, "sh", (folder.path() / "ready").string()};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, mode);
  *group = getpgid(child.process_id());
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!std::filesystem::exists(folder.path() / "ready") && std::chrono::steady_clock::now() < bound) {
    usleep(1000);
  }
  return child.WaitFor(limit, milliseconds(300));
}

TEST(ChildProcessWaitForTest, SharedChildLeadsAGroupOfItsOwn) {
  const std::vector<std::string> argv = {"/bin/sh", "-c", "exit 0"};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  EXPECT_EQ(child.process_id(), getpgid(child.process_id()));
  EXPECT_NE(getpgrp(), getpgid(child.process_id()));
  EXPECT_EQ(0, child.WaitFor(std::nullopt, milliseconds(0)).outcome.code);
}

// Ends past the limit whether the child and what it started take SIGTERM or not; the whole
// group is gone afterwards, and the outcome still tells how the child ended.
TEST(ChildProcessWaitForTest, TheLimitEndsTheWholeGroup) {
  struct Case {
    const char* what;
    std::string script;
    platform::ConsoleMode mode;
    int signal;
  } cases[] = {
      {"shared, takes SIGTERM", "sleep 600 & : >\"$1\"; sleep 600", platform::ConsoleMode::kShared, SIGTERM},
      {"detached, takes SIGTERM", "sleep 600 & : >\"$1\"; sleep 600", platform::ConsoleMode::kDetached, SIGTERM},
      {"ignores SIGTERM", "trap '' TERM; sleep 600 & : >\"$1\"; sleep 600", platform::ConsoleMode::kShared, SIGKILL},
  };
  const OrphanReaper reaper;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int group = 0;
    const platform::TimedWaitResult result = RunShellFor(c.script, c.mode, milliseconds(200), &group);
    EXPECT_TRUE(result.timed_out);
    EXPECT_EQ(Kind::kSignaled, result.outcome.kind);
    EXPECT_EQ(c.signal, result.outcome.code);
    EXPECT_TRUE(reaper.ReapGroup(group));
  }
}

TEST(ChildProcessWaitForTest, AChildWithinItsLimitEndsAsItWouldAndReportsItsCost) {
  int group = 0;
  // About 0.2 s of processor time in the shell itself, and 20 MiB touched by a child it waits for.
  const platform::TimedWaitResult result = RunShellFor(
      "i=0; while [ $i -lt 40000 ]; do i=$((i+1)); done; "
      "head -c 20971520 /dev/zero | tail -c 1 >/dev/null; : >\"$1\"; exit 3",
      platform::ConsoleMode::kShared, milliseconds(60000), &group);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(Kind::kExited, result.outcome.kind);
  EXPECT_EQ(3, result.outcome.code);
  EXPECT_GT(result.usage.user_us + result.usage.system_us, 0u);
  EXPECT_GT(result.usage.peak_rss_kib, 1000u);
}

TEST(ChildProcessWaitForTest, NotStartedAndAlreadyReapedRepeatTheOutcome) {
  const std::vector<std::string> missing = {"/nonexistent/program"};
  platform::ChildProcess never = platform::ChildProcess::Spawn(missing, platform::ConsoleMode::kShared);
  const platform::TimedWaitResult not_started = never.WaitFor(milliseconds(10), milliseconds(10));
  EXPECT_EQ(Kind::kNotStarted, not_started.outcome.kind);
  EXPECT_FALSE(not_started.timed_out);

  const std::vector<std::string> argv = {"/bin/sh", "-c", "exit 5"};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  EXPECT_EQ(5, child.WaitFor(std::nullopt, milliseconds(0)).outcome.code);
  EXPECT_EQ(5, child.WaitFor(milliseconds(10), milliseconds(10)).outcome.code);
  EXPECT_EQ(5, child.Wait().code);
}

}  // namespace
