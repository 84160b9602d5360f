#include "platform/parent_process.h"

#include <signal.h>
#include <unistd.h>

namespace platform {

bool JoinParentProcessGroup() {
  const pid_t group = getpgid(getppid());
  return group > 0 && setpgid(0, group) == 0;
}

bool SignalParent(int signal) { return kill(getppid(), signal) == 0; }

}  // namespace platform
