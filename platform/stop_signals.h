// What a stop from outside does while this process waits for a child: it ends the child first,
// so that a harness stopped from outside never leaves its engine running. The stops are the
// system's own (on Linux the signals SIGINT, SIGTERM and SIGHUP; on Windows Ctrl+C, Ctrl+Break
// and the console's close, logoff and shutdown), each told by the number of the signal it
// stands for (2, 15, 1; Ctrl+Break 21), which the exit status 128 + n carries. Outside a
// StopSignalRelay the stops keep the actions they had (by default they end the process).
#pragma once

#include "platform/owned_handle.h"

namespace platform {

class ChildProcess;

/// How long a child gets to end after the relayed stop before it is killed (on Windows the
/// request is Ctrl+Break to the child's process group, which a detached child cannot get).
inline constexpr int kStopGraceMs = 1000;

/// For its lifetime, a stop of this process is relayed to the watched child and everything it
/// started: the same request, then an end by force when the child has not ended within
/// kStopGraceMs. The stop does not end this process: it is recorded for StopSignal(), and the
/// caller reaps the child and ends the process itself. One relay at a time, made and destroyed
/// on one thread, which afterwards takes stops as it did before.
class StopSignalRelay {
 public:
  /// Holds stops back until Watch, so that one that comes while the child starts is relayed
  /// once it exists, never lost.
  StopSignalRelay();
  /// Restores the stops' previous actions; stops watching.
  ~StopSignalRelay();
  StopSignalRelay(const StopSignalRelay&) = delete;
  StopSignalRelay& operator=(const StopSignalRelay&) = delete;

  /// Watches `child` (a started child that has not been waited for; otherwise nothing is
  /// watched) and lets stops in. `whole_group`: the child runs detached with everything it
  /// starts in a group of its own, and the stop goes to that whole group.
  void Watch(const ChildProcess& child, bool whole_group);

  /// The stop relayed while this relay watched (its signal number), or 0: how the watched
  /// child's run ended.
  int relayed() const;

 private:
  OwnedHandle watched_;  ///< the watched child, while watching
  bool watching_ = false;
  int blocked_before_ = 0;  ///< bit i: the i-th stop was held back before, and stays so
};

/// For its lifetime, a stop no longer ends this process: the first one is recorded for
/// StopSignal() and cuts short WaitUnlessStopped and WaitForInputUnlessStopped; a relay made
/// meanwhile still hands stops to its child first. Output that cannot be written because its
/// reader is gone or the file-size limit is reached fails as a write error (EPIPE, EFBIG) instead
/// of ending the process; children start with the system's default actions. One at a time,
/// made and destroyed on the main thread, around the whole of a run.
class StopSignalCatcher {
 public:
  StopSignalCatcher();
  ~StopSignalCatcher();
  StopSignalCatcher(const StopSignalCatcher&) = delete;
  StopSignalCatcher& operator=(const StopSignalCatcher&) = delete;
};

/// Waits `ms` milliseconds, or until a stop comes; true at once when one has come (or came
/// before). Without a StopSignalCatcher only a stop that a relay caught cuts it short.
bool WaitUnlessStopped(int ms);

/// Waits until standard input has something to read (or its end), or until a stop comes; false
/// when one has come. Standard input must be unbuffered, so that nothing waits in a buffer.
bool WaitForInputUnlessStopped();

/// The first stop (its signal number) that came while a relay watched or a catcher caught it,
/// or 0. The library tells the caller of each run through the run's own result
/// (StopSignalRelay::relayed).
int StopSignal();

}  // namespace platform
