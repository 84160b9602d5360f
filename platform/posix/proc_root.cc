#include "platform/posix/proc_root.h"

#include <cstdlib>

namespace platform {

std::string ProcRoot() {
  const char* root = std::getenv("TESTKVE_PROC_ROOT");
  return root != nullptr && *root != '\0' ? root : "/proc";
}

}  // namespace platform
