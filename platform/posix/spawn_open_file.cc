// ChildProcess::SpawnOpenFile: vfork, then execveat of the engine starter carried in this
// library, which starts the open file in turn (engine_starter/); where the system refuses the
// starter, execveat of the open file itself. posix_spawn cannot run a descriptor or set a
// parent-death signal, so the child's few steps are written out here; between vfork and exec
// the child shares our memory and may use async-signal-safe calls only.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/open_file.h"
#include "platform/posix/engine_starter/starter_protocol.h"
#include "platform/posix/engine_starter_image.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// Whatever the caller ignores or handles, the child starts with the usual actions.
constexpr int kDefaultSignals[] = {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2};

// Where the starter's descriptors wait while the lower numbers are set up.
constexpr int kFirstSpareFd = 10;

// Set once the system has refused to run the starter (a sandbox, a memfd that may not be
// executed): every later start goes straight to the program.
std::atomic<bool> starter_refused{false};

// Everything the child needs, prepared before vfork; the child only reads it.
struct ChildPlan {
  int program_fd = -1;
  char* const* argv = nullptr;
  bool detached = false;
  bool null_stream[3] = {false, false, false};
  pid_t parent = 0;
  int starter_fd = -1;   // the starter to run instead of the program, or -1
  int report_fd = -1;    // the write end of the starter's report pipe
};

// What the vfork child leaves in the memory it shares with us when it could not exec.
struct ChildFailure {
  int error = 0;
  bool at_starter_exec = false;  // the system refused to run the starter itself
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

[[noreturn]] void ChildFailed(volatile ChildFailure* failure, bool at_starter_exec = false) {
  failure->error = errno != 0 ? errno : ESRCH;
  failure->at_starter_exec = at_starter_exec;
  _exit(127);
}

// Runs the starter with the program on descriptor 3 and the report pipe on 4, both inheritable
// (the starter makes them close-on-exec for the program), and every signal still blocked: the
// starter unblocks them once its own actions are set.
[[noreturn]] void ExecStarter(const ChildPlan& plan, volatile ChildFailure* failure) {
  const int program = fcntl(plan.program_fd, F_DUPFD_CLOEXEC, kFirstSpareFd);
  const int report = fcntl(plan.report_fd, F_DUPFD_CLOEXEC, kFirstSpareFd);
  const int starter = fcntl(plan.starter_fd, F_DUPFD_CLOEXEC, kFirstSpareFd);
  if (program < 0 || report < 0 || starter < 0 || dup2(program, posix::starter::kProgramFd) < 0 ||
      dup2(report, posix::starter::kReportFd) < 0) {
    ChildFailed(failure);
  }
  const int starter_fd = posix::starter::kReportFd + 1;
  if (dup3(starter, starter_fd, O_CLOEXEC) < 0) ChildFailed(failure);
  close_range(starter_fd + 1, ~0U, 0);
  execveat(starter_fd, "", plan.argv, environ, AT_EMPTY_PATH);
  ChildFailed(failure, true);
}

// Runs the program itself, in a process group of its own.
[[noreturn]] void ExecProgram(const ChildPlan& plan, volatile ChildFailure* failure) {
  // A group of its own in both modes, so that a time limit or a stop signal ends the engine with
  // everything it started; a shared engine stays in the background, the terminal's keys reach
  // the harness, which decides what becomes of the engine.
  if (plan.detached ? setsid() < 0 : setpgid(0, 0) != 0) ChildFailed(failure);
  // The program's own descriptor must survive until the exec (it is close-on-exec, so the
  // program does not keep it); every other one from 3 on is closed.
  const int program_fd = fcntl(plan.program_fd, F_DUPFD_CLOEXEC, 3);
  if (program_fd < 0) ChildFailed(failure);
  if (program_fd > 3) close_range(3, static_cast<unsigned>(program_fd) - 1, 0);
  close_range(static_cast<unsigned>(program_fd) + 1, ~0U, 0);
  sigset_t empty;
  sigemptyset(&empty);
  sigprocmask(SIG_SETMASK, &empty, nullptr);
  execveat(program_fd, "", plan.argv, environ, AT_EMPTY_PATH);
  ChildFailed(failure);
}

// The vfork child. It writes nothing to the memory it shares with the parent but `*failure`.
[[noreturn]] void RunChild(const ChildPlan& plan, volatile ChildFailure* failure) {
  // The parent may have died before the death signal was armed; then nobody waits for us. The
  // starter ends the program's tree on it; a program started directly is killed.
  const int death_signal = plan.starter_fd >= 0 ? posix::starter::kEndTreeSignal : SIGKILL;
  if (prctl(PR_SET_PDEATHSIG, death_signal) != 0) ChildFailed(failure);
  if (getppid() != plan.parent) {
    errno = ESRCH;
    ChildFailed(failure);
  }
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int signal : kDefaultSignals) sigaction(signal, &default_action, nullptr);
  for (int stream = 0; stream < 3; ++stream) {
    if (plan.null_stream[stream] && !OpenNullOn(stream)) ChildFailed(failure);
  }
  if (plan.starter_fd >= 0) ExecStarter(plan, failure);
  ExecProgram(plan, failure);
}

// Reaps a child that exited; it has exited already or is about to.
void ReapExited(pid_t pid) {
  int status = 0;
  posix::RetryOnEintr([&] { return waitpid(pid, &status, 0); });
}

// vfork and exec; returns the child's process ID, or -1 with `*failure` telling why.
pid_t Start(const ChildPlan& plan, ChildFailure* failure) {
  // No handler of ours may run in the child while it shares our memory: every signal stays
  // blocked from here until the child has reset the actions and unblocks them itself.
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  volatile ChildFailure shared;
  const pid_t pid = vfork();
  if (pid == 0) RunChild(plan, &shared);
  const int vfork_error = errno;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  failure->error = shared.error;
  failure->at_starter_exec = shared.at_starter_exec;
  if (pid < 0) {
    failure->error = vfork_error;
    return -1;
  }
  if (failure->error != 0) {
    ReapExited(pid);
    return -1;
  }
  return pid;
}

}  // namespace

ChildProcess ChildProcess::SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode) {
  ChildProcess child;
  if (argv.empty() || !program.is_open()) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, argv.empty() ? EINVAL : EBADF};
    return child;
  }
  ChildPlan plan;
  plan.program_fd = program.descriptor();
  plan.detached = mode == ConsoleMode::kDetached;
  for (int stream = 0; stream < 3; ++stream) {
    plan.null_stream[stream] = plan.detached || NeedsNull(stream);
  }
  plan.parent = getpid();

  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 3);
  if (!starter_refused.load()) plan.starter_fd = posix::EngineStarterProgram();
  if (plan.starter_fd >= 0) {
    pointers.push_back(const_cast<char*>(posix::starter::kStarterName));
    pointers.push_back(const_cast<char*>(plan.detached ? posix::starter::kDetachedMode : posix::starter::kSharedMode));
  }
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  plan.argv = pointers.data();

  ChildFailure failure;
  if (plan.starter_fd >= 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
      child.outcome_ = {ProcessOutcome::Kind::kNotStarted, errno};
      return child;
    }
    posix::UniqueFd report(ends[0]);
    posix::UniqueFd report_write(ends[1]);
    plan.report_fd = report_write.get();
    const pid_t starter = Start(plan, &failure);
    report_write.Reset();
    if (starter > 0) {
      // The starter answers once the program's exec has happened or failed.
      posix::starter::StartReport started;
      const ssize_t got = posix::ReadFull(report.get(), &started, sizeof started);
      if (got == sizeof started && started.error == 0) {
        child.pid_ = starter;
        child.report_ = report.Release();
        return child;
      }
      ReapExited(starter);
      child.outcome_ = {ProcessOutcome::Kind::kNotStarted, got == sizeof started ? started.error : ECHILD};
      return child;
    }
    if (!failure.at_starter_exec) {
      child.outcome_ = {ProcessOutcome::Kind::kNotStarted, failure.error};
      return child;
    }
    // The system will not run the starter: the program runs without it, now and from now on.
    starter_refused.store(true);
    plan.starter_fd = -1;
    plan.argv += posix::starter::kFirstEngineArgument;
  }
  const pid_t pid = Start(plan, &failure);
  if (pid < 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, failure.error};
  } else {
    child.pid_ = pid;
  }
  return child;
}

}  // namespace platform
