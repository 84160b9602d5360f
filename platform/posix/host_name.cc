#include "platform/host_name.h"

#include <unistd.h>

#include <climits>
#include <cstring>

namespace platform {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return std::string(name, strnlen(name, sizeof name));
}

}  // namespace platform
