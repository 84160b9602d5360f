#include "platform/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/posix/child_native.h"
#include "platform/posix/engine_starter/starter_protocol.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

namespace platform {
namespace {

namespace starter = posix::starter;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Shared with the handler, which may run on any thread: lock-free atomics only.
std::atomic<int> watched_pidfd{-1};
std::atomic<int> watched_group{0};     // > 0: the process group to signal instead
std::atomic<int> watched_channel{-1};  // >= 0: the child's starter, which does the signalling
std::atomic<int> first_stop_signal{0};
std::atomic<int> relayed_signal{0};  // the first one the current relay handed on

struct sigaction saved_actions[3];
// The catcher's wake-up pipe: the handlers write a byte, the waits poll it.
std::atomic<int> stop_pipe_read{-1};
std::atomic<int> stop_pipe_write{-1};
// Output errors that end a process by default: lost output is told, not a silent death.
constexpr int kOutputSignals[] = {SIGPIPE, SIGXFSZ};
struct sigaction caught_actions[3];
struct sigaction output_actions[2];

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

void Send(int pidfd, int signal) {
  const int group = watched_group.load();
  if (group > 0) {
    kill(-group, signal);
  } else {
    syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
  }
}

// Async-signal-safe: send and poll. The starter hands the signal on to the program's group; its
// report of the program's end makes the channel readable.
void RelayThroughStarter(int channel, int signal) {
  const starter::Forward forward{starter::Kind::kForward, signal};
  send(channel, &forward, sizeof forward, MSG_NOSIGNAL);
  pollfd ended = {channel, POLLIN, 0};
  if (posix::RetryOnEintr([&] { return poll(&ended, 1, kStopGraceMs); }) <= 0) {
    const starter::EndTree end_tree;
    send(channel, &end_tree, sizeof end_tree, MSG_NOSIGNAL);
  }
}

// Async-signal-safe: kill, pidfd_send_signal and poll. The pidfd becomes readable when the
// child has ended, reaped or not, and it can never name a recycled process ID.
void RelayToChild(int signal) {
  const int channel = watched_channel.load();
  if (channel >= 0) {
    RelayThroughStarter(channel, signal);
    return;
  }
  const int pidfd = watched_pidfd.load();
  if (pidfd < 0) return;
  Send(pidfd, signal);
  pollfd ended = {pidfd, POLLIN, 0};
  const int ready = posix::RetryOnEintr([&] { return poll(&ended, 1, kStopGraceMs); });
  if (ready <= 0 || watched_group.load() > 0) Send(pidfd, SIGKILL);
}

// Async-signal-safe: records the first stop and wakes whatever waits for one.
void NoteStop(int signal) {
  int none = 0;
  first_stop_signal.compare_exchange_strong(none, signal);
  const int wake = stop_pipe_write.load();
  if (wake >= 0) {
    const char byte = 1;
    ssize_t ignored = write(wake, &byte, 1);
    (void)ignored;
  }
}

void OnStopSignal(int signal) {
  const int saved_errno = errno;
  NoteStop(signal);
  int none = 0;
  relayed_signal.compare_exchange_strong(none, signal);
  RelayToChild(signal);
  errno = saved_errno;
}

void OnRunStop(int signal) {
  const int saved_errno = errno;
  NoteStop(signal);
  errno = saved_errno;
}

// Waits for `fd` (or none, -1) to be readable, or for a stop, at most `ms` (-1: no limit);
// true when a stop has come.
bool PollUnlessStopped(int fd, int ms) {
  pollfd waits[2] = {{stop_pipe_read.load(), POLLIN, 0}, {fd, POLLIN, 0}};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (first_stop_signal.load() == 0) {
    int left = -1;
    if (ms >= 0) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
    }
    const int ready = poll(waits, 2, left);
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && (waits[1].revents != 0 || waits[0].revents == 0)) return false;
    if (ready == 0) return false;
  }
  return true;
}

// The three signals that were not blocked before, so that only those are let in again.
sigset_t NewlyBlocked(int blocked_before) {
  sigset_t set;
  sigemptyset(&set);
  for (int i = 0; i < 3; ++i) {
    if ((blocked_before & (1 << i)) == 0) sigaddset(&set, kStopSignals[i]);
  }
  return set;
}

}  // namespace

StopSignalRelay::StopSignalRelay() {
  relayed_signal.store(0);
  const sigset_t set = StopSignalSet();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &set, &before);
  for (int i = 0; i < 3; ++i) {
    if (sigismember(&before, kStopSignals[i]) == 1) blocked_before_ |= 1 << i;
  }
}

void StopSignalRelay::Watch(const ChildProcess& child, bool whole_group) {
  if (!watching_ && child.started()) {
    watched_.Reset(syscall(SYS_pidfd_open, child.process_id(), 0));
    watched_group.store(whole_group ? child.process_id() : 0);
    // Under a starter, the stop goes to the starter, which ends the program's whole tree.
    watched_channel.store(child.native() != nullptr ? posix::Fd(child.native()->channel) : -1);
    watched_pidfd.store(posix::Fd(watched_));
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    action.sa_mask = StopSignalSet();
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &saved_actions[i]);
    watching_ = true;
  }
  const sigset_t set = NewlyBlocked(blocked_before_);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

StopSignalRelay::~StopSignalRelay() {
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (watching_) {
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &saved_actions[i], nullptr);
    watched_pidfd.store(-1);
    watched_group.store(0);
    watched_channel.store(-1);
    watched_.Reset();
  }
  const sigset_t unblocked = NewlyBlocked(blocked_before_);
  pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
}

int StopSignalRelay::relayed() const { return relayed_signal.load(); }

StopSignalCatcher::StopSignalCatcher() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    stop_pipe_read.store(ends[0]);
    stop_pipe_write.store(ends[1]);
  }
  // No SA_RESTART: a read of standard input is cut short by the stop.
  struct sigaction action = {};
  action.sa_handler = OnRunStop;
  action.sa_mask = StopSignalSet();
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &caught_actions[i]);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  for (int i = 0; i < 2; ++i) sigaction(kOutputSignals[i], &ignore, &output_actions[i]);
}

StopSignalCatcher::~StopSignalCatcher() {
  for (int i = 0; i < 2; ++i) sigaction(kOutputSignals[i], &output_actions[i], nullptr);
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &caught_actions[i], nullptr);
  close(stop_pipe_write.exchange(-1));
  close(stop_pipe_read.exchange(-1));
}

bool WaitUnlessStopped(int ms) { return PollUnlessStopped(-1, ms); }

bool WaitForInputUnlessStopped() { return !PollUnlessStopped(STDIN_FILENO, -1); }

int StopSignal() { return first_stop_signal.load(); }

}  // namespace platform
