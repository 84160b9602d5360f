#include "platform/win32/polite_stop.h"

#include <algorithm>

namespace platform::win32 {

void EndPolitely(const StoppableChild& child, std::chrono::milliseconds grace) {
  // Ctrl+Break rather than Ctrl+C: a group started with CREATE_NEW_PROCESS_GROUP ignores Ctrl+C.
  const bool asked = child.console_group && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child.process_id);
  if (asked && child.process != nullptr) {
    const auto wait = std::clamp<int64_t>(grace.count(), 0, INFINITE - 1);
    WaitForSingleObject(child.process, static_cast<DWORD>(wait));
  }
  // Also when the child ended within the grace period: what it started ends with it.
  TerminateJobObject(child.job, 1);
}

}  // namespace platform::win32
