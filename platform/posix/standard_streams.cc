#include "platform/standard_streams.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/unique_fd.h"

namespace platform {

bool ReserveStandardStreams(unsigned* closed) {
  *closed = 0;
  for (int stream = 0; stream < 3; ++stream) {
    if (fcntl(stream, F_GETFD) >= 0 || errno != EBADF) continue;
    *closed |= 1u << stream;
    // Without O_CLOEXEC: it is a standard stream, which a child inherits.
    const int fd =
        posix::RetryOnEintr([&] { return ::open("/dev/null", (stream == 0 ? O_RDONLY : O_WRONLY) | O_NOCTTY); });
    if (fd < 0) return false;
    // The lowest free descriptor is the closed stream itself, as lower ones are open.
    if (fd != stream) {
      ::close(fd);
      return false;
    }
  }
  return true;
}

bool StandardErrorIsLiveTerminal() {
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::strcmp(term, "dumb") == 0) return false;
  return isatty(STDERR_FILENO) == 1;
}

// A terminal shows the bytes it is given in the user's own encoding; nothing to switch.
unsigned SwitchConsoleOutputToUtf8() { return 0; }

void RestoreConsoleOutput(unsigned) {}

}  // namespace platform
