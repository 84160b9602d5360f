#include "TestKVE/stop_exit.h"

#include <cstdio>
#include <cstdlib>

#include "platform/stop_signals.h"

void ExitIfStopSignalled() {
  const int signal = platform::StopSignal();
  if (signal == 0) return;
  std::fflush(nullptr);
  // _Exit, not exit: the monitor thread may still be running, and static destructors must not
  // pull its state away under it.
  std::_Exit(128 + signal);
}
