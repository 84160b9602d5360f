#include "platform/environment.h"

#include <cstdlib>

namespace platform {

// Through the C runtime, which also sets the process's own environment block: both getenv
// and the children that CreateProcess starts see the change.
bool SetEnvironmentValue(const char* name, const char* value) { return _putenv_s(name, value) == 0; }

// An empty value removes the variable.
bool RemoveEnvironmentValue(const char* name) { return _putenv_s(name, "") == 0; }

}  // namespace platform
