#include "platform/environment.h"

#include <cstdlib>

namespace platform {

bool SetEnvironmentValue(const char* name, const char* value) { return setenv(name, value, 1) == 0; }

bool RemoveEnvironmentValue(const char* name) { return unsetenv(name) == 0; }

}  // namespace platform
