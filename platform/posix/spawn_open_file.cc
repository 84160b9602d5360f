// ChildProcess::SpawnOpenFile: a starter process forked from this one, which starts the open
// file with vfork and execveat, waits for it, and ends the program's whole tree with it or with
// this process. posix_spawn cannot run a descriptor or set a parent-death signal, so the steps
// are written out here; the starter is the fork of a process that may have threads, and the
// engine's child shares the starter's memory until its exec: async-signal-safe calls only.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/open_file.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// Whatever the caller ignores or handles, the child starts with the usual actions.
constexpr int kDefaultSignals[] = {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2};

// Everything the starter and the program's child need, prepared before the fork.
struct ChildPlan {
  int program_fd = -1;
  char* const* argv = nullptr;
  bool detached = false;
  bool null_stream[3] = {false, false, false};
  pid_t parent = 0;
  int status_pipe = -1;  // the starter writes an errno here when the program did not start
};

// A standard descriptor that is closed, or close-on-exec (a file of this process that took the
// place of a closed stream), would be closed in the child: /dev/null takes its place there.
bool NeedsNull(int fd) {
  const int flags = fcntl(fd, F_GETFD);
  return flags < 0 ? errno == EBADF : (flags & FD_CLOEXEC) != 0;
}

// Puts /dev/null on `stream`; false (errno set) when it cannot.
bool OpenNullOn(int stream) {
  int fd = open("/dev/null", (stream == 0 ? O_RDONLY : O_WRONLY) | O_NOCTTY);
  if (fd < 0) return false;
  if (fd == stream) return true;
  bool moved = dup2(fd, stream) == stream;
  close(fd);
  return moved;
}

// Closes every descriptor from 3 on but `keep` and `also` (when it is 3 or more), which must
// survive until the exec (they are close-on-exec, so the engine does not keep them).
void CloseInheritedDescriptors(int keep, int also = -1) {
  int from = 3;
  for (int kept : {also, keep}) {
    if (kept < from) continue;
    if (kept > from) close_range(static_cast<unsigned>(from), static_cast<unsigned>(kept) - 1, 0);
    from = kept + 1;
  }
  close_range(static_cast<unsigned>(from), ~0U, 0);
}

// The program's vfork child. It writes nothing to the memory it shares with the starter but
// `*error`, which tells the starter why the exec did not happen.
[[noreturn]] void RunChild(const ChildPlan& plan, pid_t starter, volatile int* error) {
  // The starter may have died before the death signal was armed; then nobody waits for us.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
    *error = errno;
    _exit(127);
  }
  if (getppid() != starter) {
    *error = ESRCH;
    _exit(127);
  }
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int signal : kDefaultSignals) sigaction(signal, &default_action, nullptr);
  // The program's own descriptor may sit on a standard stream; it moves out of the way first.
  int program_fd = plan.program_fd;
  if (program_fd <= 2) program_fd = fcntl(program_fd, F_DUPFD_CLOEXEC, 3);
  if (program_fd < 0) {
    *error = errno;
    _exit(127);
  }
  for (int stream = 0; stream < 3; ++stream) {
    if (plan.null_stream[stream] && !OpenNullOn(stream)) {
      *error = errno;
      _exit(127);
    }
  }
  CloseInheritedDescriptors(program_fd);
  sigset_t empty;
  sigemptyset(&empty);
  sigprocmask(SIG_SETMASK, &empty, nullptr);
  execveat(program_fd, "", plan.argv, environ, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

// Reaps a child whose exec failed; it has exited already.
void ReapFailedStart(pid_t pid) {
  int status = 0;
  posix::RetryOnEintr([&] { return waitpid(pid, &status, 0); });
}

// Kills every child of the starter and reaps it, until none is left. As a child subreaper the
// starter adopts what its descendants leave behind, so this ends the program's whole tree, also
// a process that left the program's group or session.
void EndTree() {
  for (;;) {
    bool killed = false;
    int list = open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
    if (list >= 0) {
      char text[4096];
      ssize_t got = read(list, text, sizeof text);
      close(list);
      pid_t pid = 0;
      for (ssize_t i = 0; i < got; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
          pid = pid * 10 + (text[i] - '0');
          continue;
        }
        if (pid > 0) killed = kill(pid, SIGKILL) == 0 || killed;
        pid = 0;
      }
    }
    int status = 0;
    const pid_t reaped = waitpid(-1, &status, killed ? 0 : WNOHANG);
    if (reaped < 0 && errno == ECHILD) return;
    if (reaped == 0) {
      // A child that the list missed, between its fork and its listing: look again shortly.
      const timespec pause = {0, 1'000'000};
      nanosleep(&pause, nullptr);
    }
  }
}

// The starter's answer to the death of the process that started it.
void EndTreeAndExit(int) {
  EndTree();
  _exit(128 + SIGKILL);
}

// Ends the starter the way its program ended, so that whoever waits for the starter sees the
// program's own outcome (and, through the kernel's accounting, its resource usage).
[[noreturn]] void EndAsProgramEnded(int status) {
  if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
  const int signal = WTERMSIG(status);
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  sigaction(signal, &default_action, nullptr);
  const rlimit no_core = {0, 0};  // the program dumped its core already, if it did
  setrlimit(RLIMIT_CORE, &no_core);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  kill(getpid(), signal);
  _exit(128 + signal);
}

// Tells the caller why the program did not start, and ends.
[[noreturn]] void StartFailed(const ChildPlan& plan, int error) {
  ssize_t ignored = write(plan.status_pipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// The starter: a child subreaper in the program's group (or session), which starts the program,
// waits for it and then ends whatever it left running. Every signal is blocked on entry.
[[noreturn]] void RunStarter(const ChildPlan& plan) {
  if (getppid() != plan.parent) _exit(127);
  // A group of its own in both modes, so that a time limit or a stop signal ends the engine with
  // everything it started; a shared engine stays in the background, the terminal's keys reach
  // the harness, which decides what becomes of the engine.
  if (plan.detached ? setsid() < 0 : setpgid(0, 0) != 0) StartFailed(plan, errno);
  // The signals that the caller sends to the group are the program's; the starter follows the
  // program's end instead. SIGUSR1 tells it that the caller has died.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  // SIGCHLD keeps its default action, without which the program could not be waited for.
  for (int signal : kDefaultSignals) sigaction(signal, signal == SIGCHLD ? &default_action : &ignore, nullptr);
  struct sigaction orphaned = {};
  orphaned.sa_handler = EndTreeAndExit;
  sigfillset(&orphaned.sa_mask);
  sigaction(SIGUSR1, &orphaned, nullptr);
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0 || prctl(PR_SET_PDEATHSIG, SIGUSR1) != 0) StartFailed(plan, errno);
  if (getppid() != plan.parent) _exit(127);

  volatile int exec_error = 0;
  const pid_t self = getpid();
  const pid_t program = vfork();
  if (program == 0) RunChild(plan, self, &exec_error);
  if (program < 0) StartFailed(plan, errno);
  if (exec_error != 0) {
    ReapFailedStart(program);
    StartFailed(plan, exec_error);
  }
  close(plan.status_pipe);  // end of file: the program runs
  sigset_t only_orphaned;
  sigfillset(&only_orphaned);
  sigdelset(&only_orphaned, SIGUSR1);
  sigprocmask(SIG_SETMASK, &only_orphaned, nullptr);

  int status = 0;
  for (;;) {
    const pid_t reaped = waitpid(-1, &status, 0);
    if (reaped == program) break;
    if (reaped < 0 && errno != EINTR) _exit(127);
  }
  sigprocmask(SIG_BLOCK, &orphaned.sa_mask, nullptr);
  EndTree();
  EndAsProgramEnded(status);
}

}  // namespace

ChildProcess ChildProcess::SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode) {
  ChildProcess child;
  if (argv.empty() || !program.is_open()) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, argv.empty() ? EINVAL : EBADF};
    return child;
  }
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);

  int status_ends[2];
  if (pipe2(status_ends, O_CLOEXEC) != 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, errno};
    return child;
  }
  posix::UniqueFd status_read(status_ends[0]);
  posix::UniqueFd status_write(status_ends[1]);

  ChildPlan plan;
  plan.program_fd = program.descriptor();
  plan.argv = pointers.data();
  plan.detached = mode == ConsoleMode::kDetached;
  for (int stream = 0; stream < 3; ++stream) {
    plan.null_stream[stream] = plan.detached || NeedsNull(stream);
  }
  plan.parent = getpid();
  plan.status_pipe = status_write.get();

  // No handler of ours may run in the starter: every signal stays blocked from here until it
  // has set its own actions.
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  const pid_t pid = fork();
  if (pid == 0) {
    CloseInheritedDescriptors(std::max(plan.program_fd, plan.status_pipe), std::min(plan.program_fd, plan.status_pipe));
    RunStarter(plan);
  }
  const int fork_error = errno;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  status_write.Reset();
  if (pid < 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, fork_error};
    return child;
  }
  // Waits for the program's exec (end of file) or the reason it failed.
  int start_error = 0;
  const ssize_t got = posix::ReadFull(status_read.get(), &start_error, sizeof start_error);
  if (got != 0) {
    ReapFailedStart(pid);
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, got == sizeof start_error ? start_error : ECHILD};
    return child;
  }
  child.pid_ = pid;
  return child;
}

}  // namespace platform
