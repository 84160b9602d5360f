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

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleStop(DWORD event) {
  int signal = kTerminate;
  if (event == CTRL_C_EVENT) signal = kInterrupt;
  if (event == CTRL_BREAK_EVENT) signal = kBreak;
  const HANDLE job = watched_job.load();
  if (job == nullptr) return FALSE;  // not watching: the stop ends this process as usual
  int none = 0;
  first_stop.compare_exchange_strong(none, signal);
  none = 0;
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

int StopSignal() { return first_stop.load(); }

}  // namespace platform
