#include "platform/stop_signals.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/process.h"
#include "platform/win32/child_native.h"
#include "platform/win32/handle.h"
#include "platform/win32/polite_stop.h"

namespace platform {
namespace {

// The C runtime's numbers for the stops a console delivers, so that exit statuses and reports
// read as on Linux: Ctrl+C is SIGINT; Ctrl+Break is SIGBREAK; closing the console, logging off
// or shutting down is SIGTERM.
constexpr int kInterrupt = 2;
constexpr int kBreak = 21;
constexpr int kTerminate = 15;

std::atomic<int> first_stop{0};
std::atomic<int> relayed_stop{0};  // the first one the current relay acted on

// The watched child, as copies of its handles that the relay owns, so that they stay valid for
// a handler that runs while the child is reaped. The handler holds the lock while it ends the
// child; the relay holds it while it starts or stops watching.
struct Watched {
  win32::UniqueHandle process;
  win32::UniqueHandle job;
  DWORD process_id = 0;
  bool console_group = false;
};
std::mutex watched_mutex;
std::optional<Watched> watched;
// Set by the first stop while a catcher stands; the waits wait on it.
std::atomic<HANDLE> stop_event{nullptr};

win32::UniqueHandle Copy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return win32::UniqueHandle();
  }
  return win32::UniqueHandle(copy);
}

int SignalOf(DWORD event) {
  if (event == CTRL_C_EVENT) return kInterrupt;
  if (event == CTRL_BREAK_EVENT) return kBreak;
  return kTerminate;
}

void NoteStop(int signal) {
  int none = 0;
  first_stop.compare_exchange_strong(none, signal);
  if (const HANDLE event = stop_event.load(); event != nullptr) SetEvent(event);
}

// After a close, logoff or shutdown event Windows ends the process as soon as the handler
// returns, and the run's records would be lost: the handler's thread waits instead, while the
// main thread writes the records and ends the process (or Windows does, when the time it gives
// the handler has passed).
void HoldOnClose(DWORD event) {
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(INFINITE);
}

// The catcher's handler, asked after the relay's: the stop is recorded and the run ends itself.
BOOL WINAPI OnRunStop(DWORD event) {
  if (stop_event.load() == nullptr) return FALSE;
  NoteStop(SignalOf(event));
  HoldOnClose(event);
  return TRUE;
}

// Ends the watched child as a stop asks; false when none is watched.
bool RelayToWatched(int signal) {
  const std::lock_guard lock(watched_mutex);
  if (!watched) return false;
  NoteStop(signal);
  int none = 0;
  relayed_stop.compare_exchange_strong(none, signal);
  win32::EndPolitely({watched->process.get(), watched->process_id, watched->job.get(), watched->console_group},
                     std::chrono::milliseconds(kStopGraceMs));
  return true;
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleStop(DWORD event) {
  // Not watching: the catcher's handler, or the end of the process.
  if (!RelayToWatched(SignalOf(event))) return FALSE;
  HoldOnClose(event);
  return TRUE;
}

}  // namespace

StopSignalRelay::StopSignalRelay() {
  relayed_stop.store(0);
  // The handler is in place before the child starts; until Watch it lets stops through.
  SetConsoleCtrlHandler(OnConsoleStop, TRUE);
}

StopSignalRelay::~StopSignalRelay() {
  {
    const std::lock_guard lock(watched_mutex);
    watched.reset();
  }
  SetConsoleCtrlHandler(OnConsoleStop, FALSE);
}

void StopSignalRelay::Watch(const ChildProcess& child, bool) {
  const ChildProcess::Native* native = child.native();
  if (!child.started() || native == nullptr || !native->job) return;
  Watched copy{Copy(native->process.get()), Copy(native->job.get()), static_cast<DWORD>(child.process_id()),
               native->console_group};
  if (!copy.job) return;
  const std::lock_guard lock(watched_mutex);
  watched = std::move(copy);
  watching_ = true;
}

int StopSignalRelay::relayed() const { return relayed_stop.load(); }

StopSignalCatcher::StopSignalCatcher() {
  stop_event.store(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetConsoleCtrlHandler(OnRunStop, TRUE);
}

StopSignalCatcher::~StopSignalCatcher() {
  SetConsoleCtrlHandler(OnRunStop, FALSE);
  if (const HANDLE event = stop_event.exchange(nullptr); event != nullptr) CloseHandle(event);
}

bool WaitUnlessStopped(int ms) {
  if (first_stop.load() != 0) return true;
  const HANDLE event = stop_event.load();
  if (event == nullptr) {
    Sleep(static_cast<DWORD>(ms));
  } else {
    WaitForSingleObject(event, static_cast<DWORD>(ms));
  }
  return first_stop.load() != 0;
}

// A console read is not cut short by a stop; the stop is seen before the next line.
bool WaitForInputUnlessStopped() { return first_stop.load() == 0; }

int StopSignal() { return first_stop.load(); }

}  // namespace platform
