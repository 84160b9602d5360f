// The command line the running process was started with, read back by anyone who needs it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform {

/// The calling process's argument vector, element by element, as the system keeps it. False,
/// with the reason in `error`, when it cannot be read.
bool ReadProcessArguments(std::vector<std::string>* arguments, Error* error);

/// The process's command line as one text, exactly as the system keeps it, where it keeps one:
/// on Windows (in UTF-8), beginning with the program's path as its starter wrote it. Nullopt
/// where the system hands a process only its argument vector.
std::optional<std::string> ReadCommandLineText();

}  // namespace platform
