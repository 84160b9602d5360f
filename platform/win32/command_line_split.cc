#include "platform/win32/command_line_split.h"

// windows.h first (through the header): shellapi.h needs its types.
#include <shellapi.h>

#include <memory>

#include "platform/win32/handle.h"

namespace platform::win32 {
namespace {

struct LocalFreer {
  void operator()(LPWSTR* block) const { LocalFree(block); }
};

}  // namespace

std::optional<std::vector<std::string>> SplitCommandLine(const std::wstring& line, DWORD* error) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreer> split(CommandLineToArgvW(line.c_str(), &count));
  if (!split) {
    *error = GetLastError();
    return std::nullopt;
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(split.get()[i]));
  return arguments;
}

}  // namespace platform::win32
