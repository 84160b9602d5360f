// How a child's run is ended on Windows: asked first, as Linux asks with SIGTERM, then ended
// with everything it started.
#pragma once

#include <windows.h>

#include <chrono>

namespace platform::win32 {

/// The child to end: its process, its ID, the job that holds its whole tree, and whether it
/// leads a process group on this process's console (started with CREATE_NEW_PROCESS_GROUP and
/// not detached), the only kind of process a console event can reach.
struct StoppableChild {
  HANDLE process = nullptr;
  DWORD process_id = 0;
  HANDLE job = nullptr;
  bool console_group = false;
};

/// Sends Ctrl+Break to the child's process group when it has one, waits up to `grace` for the
/// child to end, then ends its job, and with it every process left in it. When the event cannot
/// be sent (no console group, or a system that cannot deliver it) the job is ended at once:
/// nothing was asked, so there is nothing to wait for.
void EndPolitely(const StoppableChild& child, std::chrono::milliseconds grace);

}  // namespace platform::win32
