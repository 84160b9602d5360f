#include "platform/processor_time.h"

#include <windows.h>

namespace platform {
namespace {

uint64_t Hundreds(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

uint64_t OwnProcessorTimeUs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return (Hundreds(kernel) + Hundreds(user)) / 10;
}

}  // namespace platform
