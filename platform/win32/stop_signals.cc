#include "platform/stop_signals.h"

#include <atomic>

#include "platform/process.h"
#include "platform/win32/handle.h"

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
std::atomic<HANDLE> watched_job{nullptr};
// Set by the first stop while a catcher stands; the waits wait on it.
std::atomic<HANDLE> stop_event{nullptr};

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

// The catcher's handler, asked after the relay's: the stop is recorded and the run ends itself.
BOOL WINAPI OnRunStop(DWORD event) {
  if (stop_event.load() == nullptr) return FALSE;
  NoteStop(SignalOf(event));
  return TRUE;
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleStop(DWORD event) {
  const int signal = SignalOf(event);
  const HANDLE job = watched_job.load();
  if (job == nullptr) return FALSE;  // not watching: the next handler, or the end of the process
  NoteStop(signal);
  int none = 0;
  relayed_stop.compare_exchange_strong(none, signal);
  // The job holds the engine and everything it started; a console program gets no grace.
  TerminateJobObject(job, 1);
  return TRUE;
}

}  // namespace

StopSignalRelay::StopSignalRelay() {
  relayed_stop.store(0);
  // The handler is in place before the child starts; until Watch it lets stops through.
  SetConsoleCtrlHandler(OnConsoleStop, TRUE);
}

StopSignalRelay::~StopSignalRelay() {
  watched_job.store(nullptr);
  SetConsoleCtrlHandler(OnConsoleStop, FALSE);
}

void StopSignalRelay::Watch(const ChildProcess& child, bool) {
  if (!child.started() || child.native_.job == 0) return;
  watching_ = true;
  watched_job.store(reinterpret_cast<HANDLE>(child.native_.job));
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
