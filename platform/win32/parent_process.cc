#include "platform/parent_process.h"

namespace platform {

// A Windows process has no process group to join and takes no signals from another.
bool JoinParentProcessGroup() { return false; }

bool SignalParent(int /*signal*/) { return false; }

}  // namespace platform
