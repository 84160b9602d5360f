// A manual-reset event: once signalled it stays signalled, waking every waiter, until reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class ManualResetEvent {
 public:
  /// Makes the event signalled and wakes every waiter.
  void Signal();
  /// Makes the event non-signalled.
  void Reset();
  /// Waits until the event is signalled or `timeout` has passed; true when it is signalled.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace platform
