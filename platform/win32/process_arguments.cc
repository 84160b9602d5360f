#include "platform/process_arguments.h"

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <memory>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

namespace platform {

namespace {

struct LocalFreer {
  void operator()(LPWSTR* block) const { LocalFree(block); }
};

}  // namespace

// The process's one command line, split by the system's own rules.
bool ReadProcessArguments(std::vector<std::string>* arguments, Error* error) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreer> split(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!split) {
    *error = ErrorFromWin32(GetLastError());
    return false;
  }
  arguments->clear();
  for (int i = 0; i < count; ++i) arguments->push_back(win32::Narrow(split.get()[i]));
  return true;
}

std::optional<std::string> ReadCommandLineText() { return win32::Narrow(GetCommandLineW()); }

}  // namespace platform
