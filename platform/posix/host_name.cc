#include "platform/host_name.h"

#include <limits.h>
#include <unistd.h>

namespace platform {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  // A name cut to the buffer may lack its terminator; the last byte stays zero.
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace platform
