// Where the running program lies, for programs that find their companions beside them.
#pragma once

#include <optional>
#include <string>

namespace platform {

/// The absolute path of the file this process was started from, with symbolic links resolved
/// (a link to the program gives the program's own path). Nullopt when the system cannot tell.
std::optional<std::string> RunningProgramPath();

}  // namespace platform
