// The engine starter: started by the harness in place of the engine, it starts the engine, waits
// for it, ends whatever the engine's tree left running and ends the way the engine ended. As a
// child subreaper it adopts every process that the engine's descendants leave behind, also one
// that left the engine's group or session, so that nothing of the tree outlives the run or the
// harness. It is linked statically and uses the C library only: it runs once per engine start.
//
// The harness starts it with every signal blocked, its parent-death signal armed, the standard
// streams the engine is to have, and the descriptors of starter_protocol.h.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/engine_starter/starter_protocol.h"

extern char** environ;

namespace {

using platform::posix::starter::kEndTreeSignal;

// The signals the harness forwards for a stop, handed on to the engine's group.
constexpr int kForwardedSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t engine_group = 0;

void ForwardToEngine(int signal) {
  const int saved_errno = errno;
  if (engine_group > 0) {
    kill(-engine_group, signal);
    kill(-engine_group, SIGCONT);  // a stopped member could not act on it
  }
  errno = saved_errno;
}

// The harness has died or has given the engine its grace: the engine goes at once; the rest of
// its tree goes when the engine has been reaped.
void KillEngine(int) {
  const int saved_errno = errno;
  if (engine_group > 0) kill(-engine_group, SIGKILL);
  errno = saved_errno;
}

void SetAction(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigfillset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void SetSignalMask(bool blocked) {
  sigset_t set;
  if (blocked) {
    sigfillset(&set);
  } else {
    sigemptyset(&set);
  }
  sigprocmask(SIG_SETMASK, &set, nullptr);
}

bool WriteWhole(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(platform::posix::starter::kReportFd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

[[noreturn]] void StartFailed(int error) {
  const platform::posix::starter::StartReport report = {error, 0};
  WriteWhole(&report, sizeof report);
  _exit(127);
}

// The engine's vfork child: it shares the starter's memory until the exec and writes nothing
// there but `*error`.
[[noreturn]] void RunEngine(char* const* argv, bool detached, pid_t starter, volatile int* error) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != starter) {
    *error = errno != 0 ? errno : ESRCH;
    _exit(127);
  }
  // The engine starts with the usual action for every signal and none blocked.
  for (int signal : kForwardedSignals) SetAction(signal, SIG_DFL);
  SetAction(kEndTreeSignal, SIG_DFL);
  SetAction(SIGPIPE, SIG_DFL);
  // A group of its own in both modes, so that a time limit or a stop ends the engine with
  // everything it started; a shared engine stays in the background of the harness's terminal.
  if (detached ? setsid() < 0 : setpgid(0, 0) != 0) {
    *error = errno;
    _exit(127);
  }
  SetSignalMask(false);
  execveat(platform::posix::starter::kProgramFd, "", argv, environ, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

// Pulls the process IDs out of /proc/thread-self/children and kills each; true when any was.
bool KillChildren() {
  const int list = open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
  if (list < 0) return false;
  char text[4096];
  const ssize_t got = read(list, text, sizeof text);
  close(list);
  bool killed = false;
  pid_t pid = 0;
  for (ssize_t i = 0; i < got; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      pid = pid * 10 + (text[i] - '0');
      continue;
    }
    if (pid > 0) killed = kill(pid, SIGKILL) == 0 || killed;
    pid = 0;
  }
  return killed;
}

// Kills and reaps every child until none is left. Killing a child hands its own children to
// this subreaper, so the loop works down the whole tree.
void EndTree() {
  for (;;) {
    const bool killed = KillChildren();
    int status = 0;
    const pid_t reaped = waitpid(-1, &status, killed ? 0 : WNOHANG);
    if (reaped < 0 && errno == ECHILD) return;
    if (reaped == 0) {
      // A child that was not listed yet, between its fork and its listing: look again shortly.
      const timespec pause = {0, 1'000'000};
      nanosleep(&pause, nullptr);
    }
  }
}

uint64_t Microseconds(const timeval& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1'000'000 + static_cast<uint64_t>(time.tv_usec);
}

// Ends the starter the way the engine ended, so that the harness sees the engine's own outcome.
[[noreturn]] void EndAsEngineEnded(int status) {
  if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
  const int signal = WTERMSIG(status);
  SetAction(signal, SIG_DFL);
  const rlimit no_core = {0, 0};  // the engine dumped its core already, if it did
  setrlimit(RLIMIT_CORE, &no_core);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  kill(getpid(), signal);
  _exit(128 + signal);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace platform::posix::starter;
  if (argc <= kFirstEngineArgument) StartFailed(EINVAL);
  const bool detached = strcmp(argv[1], kDetachedMode) == 0;
  if (!detached && strcmp(argv[1], kSharedMode) != 0) StartFailed(EINVAL);
  // The program and the report are the starter's alone: the engine keeps neither.
  if (fcntl(kProgramFd, F_SETFD, FD_CLOEXEC) != 0 || fcntl(kReportFd, F_SETFD, FD_CLOEXEC) != 0) StartFailed(errno);
  // A group of its own, so that neither the terminal's keys nor a signal to the harness's group
  // reach it: the harness tells it what to do.
  if (setpgid(0, 0) != 0 || prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) StartFailed(errno);
  for (int signal : kForwardedSignals) SetAction(signal, ForwardToEngine);
  SetAction(kEndTreeSignal, KillEngine);
  SetAction(SIGPIPE, SIG_IGN);  // a report to a harness that died is simply lost

  volatile int exec_error = 0;
  const pid_t starter = getpid();
  const pid_t engine = vfork();
  if (engine == 0) RunEngine(argv + kFirstEngineArgument, detached, starter, &exec_error);
  if (engine < 0) StartFailed(errno);
  if (exec_error != 0) {
    int status = 0;
    waitpid(engine, &status, 0);
    StartFailed(exec_error);
  }
  engine_group = engine;
  const StartReport started = {0, engine};
  WriteWhole(&started, sizeof started);
  SetSignalMask(false);

  int status = 0;
  rusage usage = {};
  for (;;) {
    const pid_t reaped = wait4(-1, &status, 0, &usage);
    if (reaped == engine) break;
    if (reaped < 0 && errno != EINTR) _exit(127);
  }
  SetSignalMask(true);
  EndTree();
  const UsageReport used = {Microseconds(usage.ru_utime), Microseconds(usage.ru_stime),
                            static_cast<uint64_t>(usage.ru_maxrss)};
  WriteWhole(&used, sizeof used);
  EndAsEngineEnded(status);
}
