#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
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
      {"exit 0", Kind::kExited, 0},
      {"exit 3", Kind::kExited, 3},
      {"exit 255", Kind::kExited, 255},
      {"kill -TERM $$", Kind::kSignaled, 15},
      {"kill -KILL $$", Kind::kSignaled, 9},
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
  const std::vector<std::string> argv = {"/bin/sh", "-c", "printf '%s|' \"$@\" > \"$0\"",
                                         out.string(), "a b", "$HOME", "\"q\"", ""};
  EXPECT_EQ(Kind::kExited, platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared)
                               .Wait()
                               .kind);
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
      "printf '%s\\n%s\\n' \"$streams\" $role > '" + out.string() + "'";
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
    platform::ChildProcess child =
        platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
    ASSERT_TRUE(child.started());
    pid = child.pid();
    ASSERT_TRUE(std::filesystem::exists("/proc/" + std::to_string(pid)));
  }
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

TEST(ProcessTest, OwnIdAndOpenDescriptors) {
  EXPECT_EQ(std::filesystem::read_symlink("/proc/self").string(),
            std::to_string(platform::CurrentProcessId()));

  TempFolder scratch;
  std::FILE* file = std::fopen((scratch.path() / "open.txt").c_str(), "w");
  ASSERT_NE(nullptr, file);
  const int fd = fileno(file);
  std::vector<int> open = platform::OpenDescriptors();
  std::fclose(file);
  EXPECT_NE(open.end(), std::find(open.begin(), open.end(), fd));
  std::vector<int> after = platform::OpenDescriptors();
  EXPECT_EQ(after.end(), std::find(after.begin(), after.end(), fd));
  EXPECT_EQ(open.size(), after.size() + 1);
}

}  // namespace
