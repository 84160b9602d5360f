#include "support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool DropRights() {
  if (!RunningAsRoot()) return true;
  // Groups before the user: once the user is dropped, the groups can no longer change.
  return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedId) == 0 && setuid(kUnprivilegedId) == 0 && setuid(0) != 0;
}

}  // namespace

bool RunningAsRoot() { return geteuid() == 0; }

bool RunUnprivileged(const std::function<bool()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    std::fprintf(stderr, "fork: %s\n", std::strerror(errno));
    return false;
  }
  if (pid == 0) {
    if (!DropRights()) {
      std::fprintf(stderr, "cannot drop to user %u: %s\n", kUnprivilegedId, std::strerror(errno));
      std::fflush(nullptr);
      _exit(2);
    }
    const bool passed = body();
    std::fflush(nullptr);
    // _exit: the child must not run the test program's static destructors or atexit handlers.
    _exit(passed ? 0 : 1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
