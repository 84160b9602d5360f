#include "platform/process_arguments.h"

#include <windows.h>

#include "platform/win32/command_line_split.h"
#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

namespace platform {

// The process's one command line, split by the system's own rules.
bool ReadProcessArguments(std::vector<std::string>* arguments, Error* error) {
  DWORD code = 0;
  auto split = win32::SplitCommandLine(GetCommandLineW(), &code);
  if (!split) {
    *error = ErrorFromWin32(code);
    return false;
  }
  *arguments = std::move(*split);
  return true;
}

std::optional<std::string> ReadCommandLineText() { return win32::Narrow(GetCommandLineW()); }

}  // namespace platform
