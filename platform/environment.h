// The process's environment variables, which the programs it starts inherit.
#pragma once

namespace platform {

/// Sets `name` to `value` for this process and the children it starts from now on; false
/// when the system refuses (no memory, a name with "=").
bool SetEnvironmentValue(const char* name, const char* value);
/// Removes `name` from this process's environment; true when it is absent afterwards.
bool RemoveEnvironmentValue(const char* name);

}  // namespace platform
