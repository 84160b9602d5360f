// The steps every start of a child takes between fork (or vfork) and exec, in one place for
// the process start, the open-file start, the engine starter and the service start. Each is
// async-signal-safe and writes no memory of the caller: a vfork child may call any of them.
// Header-only, so that the engine starter program, which links the C library alone, uses the
// same steps.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform::posix {

/// The signals a caller may ignore or handle that a child starts with at their default action.
inline constexpr int kChildDefaultSignals[] = {SIGPIPE, SIGXFSZ, SIGINT,  SIGQUIT, SIGTERM,
                                               SIGHUP,  SIGCHLD, SIGUSR1, SIGUSR2};

/// Gives each of kChildDefaultSignals its default action.
inline void ResetChildSignals() {
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  for (int signal : kChildDefaultSignals) sigaction(signal, &default_action, nullptr);
}

/// Lets every signal in, as a new program expects.
inline void UnblockAllSignals() {
  sigset_t empty;
  sigemptyset(&empty);
  sigprocmask(SIG_SETMASK, &empty, nullptr);
}

/// Puts /dev/null on the standard stream `stream`; false (errno set) when it cannot.
inline bool OpenNullOn(int stream) {
  const int fd = open("/dev/null", (stream == 0 ? O_RDONLY : O_WRONLY) | O_NOCTTY);
  if (fd < 0) return false;
  if (fd == stream) return true;
  const bool moved = dup2(fd, stream) == stream;
  close(fd);
  return moved;
}

/// Whether the standard stream `stream` would be closed in a child: it is closed here, or
/// close-on-exec (a file of this process that took the place of a closed stream). /dev/null
/// takes its place there.
inline bool StreamNeedsNull(int stream) {
  const int flags = fcntl(stream, F_GETFD);
  return flags < 0 ? errno == EBADF : (flags & FD_CLOEXEC) != 0;
}

/// The standard streams a child starts with: each the null device, or a descriptor of the
/// caller's that becomes it (the caller's own stream, or one that takes its place).
struct ChildStreams {
  bool null_stream[3] = {false, false, false};
  int fd[3] = {0, 1, 2};
};

/// A detached child's streams are all the null device, and a stream closed here is the null
/// device in any child. `output` and `error`, when not -1, become the child's standard output
/// and error (an output tee's pipes) whatever the mode.
inline ChildStreams ChooseChildStreams(bool detached, int output, int error) {
  ChildStreams streams;
  for (int stream = 0; stream < 3; ++stream) streams.null_stream[stream] = detached || StreamNeedsNull(stream);
  const int replacements[3] = {-1, output, error};
  for (int stream = 1; stream < 3; ++stream) {
    if (replacements[stream] < 0) continue;
    streams.fd[stream] = replacements[stream];
    streams.null_stream[stream] = false;
  }
  return streams;
}

/// Moves a descriptor that landed on 0, 1 or 2 (a standard stream was closed) above them,
/// close-on-exec, where it cannot be taken for a standard stream; the old number is closed.
/// Returns the descriptor to use, or -1 (errno set).
inline int MoveAboveStandardStreams(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

/// A group of its own (so that a time limit or a stop ends the child with everything it
/// started, and the terminal's keys keep reaching the caller) or a session of its own.
inline bool LeaveCallersGroup(bool new_session) { return new_session ? setsid() >= 0 : setpgid(0, 0) == 0; }

/// vfork, then `run_child(&exec_error)` in the child, which must exec or _exit and may write
/// nothing of ours but `*exec_error`. Every signal stays blocked in between, so that no handler
/// of ours runs in the child while it shares our memory: the child lets them in itself. Returns
/// the child's process ID once its exec has happened, or -1 with `*error` set (the vfork's
/// errno, or the child's, whose process is then reaped).
template <typename RunChild>
pid_t VforkChild(RunChild&& run_child, int* error) {
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  volatile int exec_error = 0;
  const pid_t pid = vfork();
  if (pid == 0) run_child(&exec_error);
  const int vfork_error = errno;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) {
    *error = vfork_error;
    return -1;
  }
  if (exec_error != 0) {
    *error = exec_error;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }
  return pid;
}

}  // namespace platform::posix
