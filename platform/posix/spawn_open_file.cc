// ChildProcess::SpawnOpenFile: vfork and execveat of the open file. posix_spawn cannot run a
// descriptor or set a parent-death signal, so the child's few steps are written out here;
// between vfork and exec the child shares our memory and may use async-signal-safe calls only.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/open_file.h"
#include "platform/posix/adopted_children.h"
#include "platform/posix/argv_pointers.h"
#include "platform/posix/child_start.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// Everything the child needs, prepared before vfork; the child only reads it.
struct ChildPlan {
  int program_fd = -1;
  char* const* argv = nullptr;
  bool detached = false;
  posix::ChildStreams streams;
  pid_t parent = 0;
};

// Closes every descriptor from 3 on but the program's own, which must survive until the exec
// (it is close-on-exec, so the engine does not keep it).
void CloseInheritedDescriptors(int keep) {
  if (keep > 3) close_range(3, static_cast<unsigned>(keep) - 1, 0);
  close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
}

// Puts on the child's `stream` what the plan says: the null device, a descriptor of ours that
// takes its place, or this process's own stream as it is.
bool PlaceStream(const ChildPlan& plan, int stream) {
  if (plan.streams.null_stream[stream]) return posix::OpenNullOn(stream);
  if (plan.streams.fd[stream] == stream) return true;
  return dup2(plan.streams.fd[stream], stream) == stream;
}

// The vfork child. It writes nothing to the memory it shares with the parent but `*error`,
// which tells the parent why the exec did not happen.
[[noreturn]] void RunChild(const ChildPlan& plan, volatile int* error) {
  // The parent may have died before the death signal was armed; then nobody waits for us.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
    *error = errno;
    _exit(127);
  }
  if (getppid() != plan.parent) {
    *error = ESRCH;
    _exit(127);
  }
  posix::ResetChildSignals();
  if (!posix::LeaveCallersGroup(plan.detached)) {
    *error = errno;
    _exit(127);
  }
  // The program's own descriptor may sit on a standard stream; it moves out of the way first.
  const int program_fd = plan.program_fd <= 2 ? fcntl(plan.program_fd, F_DUPFD_CLOEXEC, 3) : plan.program_fd;
  if (program_fd < 0) {
    *error = errno;
    _exit(127);
  }
  for (int stream = 0; stream < 3; ++stream) {
    if (!PlaceStream(plan, stream)) {
      *error = errno;
      _exit(127);
    }
  }
  CloseInheritedDescriptors(program_fd);
  posix::UnblockAllSignals();
  execveat(program_fd, "", plan.argv, environ, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

}  // namespace

ChildProcess ChildProcess::SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                         const ChildOutputs* outputs) {
  ChildProcess child;
  if (argv.empty() || !program.is_open()) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, argv.empty() ? EINVAL : EBADF};
    return child;
  }
  ChildPlan plan;
  plan.program_fd = posix::Fd(program.handle());
  plan.detached = mode == ConsoleMode::kDetached;
  plan.streams = posix::ChooseChildStreams(plan.detached, outputs ? static_cast<int>(outputs->output) : -1,
                                           outputs ? static_cast<int>(outputs->error) : -1);
  plan.parent = getpid();

  const posix::ArgvPointers pointers(argv);
  plan.argv = pointers.get();

  int error = 0;
  const pid_t pid = posix::VforkChild([&](volatile int* exec_error) { RunChild(plan, exec_error); }, &error);
  if (pid < 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, error};
  } else {
    child.process_id_ = pid;
    posix::NoteOwnChild(pid);
  }
  return child;
}

}  // namespace platform
