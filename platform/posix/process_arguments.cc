#include "platform/process_arguments.h"

#include <string>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/unique_fd.h"

namespace platform {

// The kernel's copy of the argument vector, each element ended by a NUL.
bool ReadProcessArguments(std::vector<std::string>* arguments, Error* error) {
  posix::UniqueFd fd = posix::OpenCloexec("/proc/self/cmdline", O_RDONLY);
  if (!fd) {
    *error = ErrnoFailure("/proc/self/cmdline", errno);
    return false;
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t got = posix::ReadFull(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      *error = ErrnoFailure("/proc/self/cmdline", errno);
      return false;
    }
    text.append(buffer, static_cast<size_t>(got));
    if (static_cast<size_t>(got) < sizeof buffer) break;
  }
  // Every element ends with a NUL.
  arguments->clear();
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    arguments->push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

// The kernel keeps the elements only; the harness joins them itself.
std::optional<std::string> ReadCommandLineText() { return std::nullopt; }

}  // namespace platform
