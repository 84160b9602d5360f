// A child's own part on Windows: the system names a child by handle, and every child's whole
// tree runs in a job object of its own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/process.h"
#include "platform/win32/handle.h"

namespace platform {

struct ChildProcess::Native {
  win32::UniqueHandle process;  ///< until the child is reaped
  win32::UniqueHandle job;      ///< the job its whole tree runs in, until this object goes
  bool console_group = false;   ///< it leads a process group on the caller's console
  DWORD process_id = 0;         ///< kept after the reap, for EndFromAnotherThread
};

}  // namespace platform
