// The argument vector the running process was started with, read back by anyone who needs it.
#pragma once

#include <string>
#include <vector>

namespace platform {

/// The calling process's argv, element by element (from /proc/self/cmdline). False with the
/// errno in `error` when it cannot be read.
bool ReadProcessArguments(std::vector<std::string>* arguments, int* error);

}  // namespace platform
