// What SIGINT, SIGTERM and SIGHUP do while this process waits for a child: they end the child
// first, so that a harness stopped from outside never leaves its engine running. This is the
// program's only signal handling; outside a StopSignalRelay the three signals keep the actions
// they had (by default they end the process).
#pragma once

#include "platform/owned_handle.h"

namespace platform {

class ChildProcess;

/// How long a child gets to end after the relayed signal before it is killed (SIGKILL).
inline constexpr int kStopGraceMs = 1000;

/// For its lifetime, one of the three signals sent to this process is relayed to the watched
/// child (to its whole process group when it leads one): the same signal, then SIGKILL when
/// the child has not ended within kStopGraceMs, and in a group SIGKILL to whatever of the
/// group is left. The signal does not end this process: it is recorded for StopSignal(), and
/// the caller reaps the child and ends the process itself. One relay at a time, made and
/// destroyed on one thread; that thread's signal mask is the same afterwards.
class StopSignalRelay {
 public:
  /// Holds the three signals back on the calling thread until Watch, so that one sent while
  /// the child starts is relayed once it exists, never lost.
  StopSignalRelay();
  /// Restores the signals' previous actions; stops watching.
  ~StopSignalRelay();
  StopSignalRelay(const StopSignalRelay&) = delete;
  StopSignalRelay& operator=(const StopSignalRelay&) = delete;

  /// Watches `child` (a started child that has not been waited for; otherwise nothing is
  /// watched) and lets the three signals in. `whole_group`: the child leads its own process
  /// group (it runs detached), and the signals go to that group.
  void Watch(const ChildProcess& child, bool whole_group);

  /// The signal relayed while this relay watched, or 0: how the watched child's run ended.
  int relayed() const;

 private:
  OwnedHandle watched_;  ///< the watched child, while watching
  bool watching_ = false;
  int blocked_before_ = 0;  ///< bit i: the i-th signal was blocked before, stays blocked
};

/// The first of the three signals that arrived while any relay was watching, or 0. The
/// library tells the caller of each run through the run's own result (StopSignalRelay::relayed).
int StopSignal();

}  // namespace platform
