// The argument vector the running process was started with, read back by anyone who needs it.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"

namespace platform {

/// The calling process's argument vector, element by element, as the system keeps it. False,
/// with the reason in `error`, when it cannot be read.
bool ReadProcessArguments(std::vector<std::string>* arguments, Error* error);

}  // namespace platform
