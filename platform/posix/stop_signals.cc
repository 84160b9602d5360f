#include "platform/stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

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

void OnStopSignal(int signal) {
  const int saved_errno = errno;
  int none = 0;
  first_stop_signal.compare_exchange_strong(none, signal);
  none = 0;
  relayed_signal.compare_exchange_strong(none, signal);
  RelayToChild(signal);
  errno = saved_errno;
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
    watched_channel.store(posix::Fd(child.starter_channel()));
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

int StopSignal() { return first_stop_signal.load(); }

}  // namespace platform
