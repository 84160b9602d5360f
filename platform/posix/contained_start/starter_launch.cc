#include "platform/posix/contained_start/starter_launch.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <utility>

#include "platform/posix/adopted_children.h"
#include "platform/posix/child_start.h"
#include "platform/posix/contained_start/engine_starter_image.h"
#include "platform/posix/engine_starter/starter_protocol.h"

extern char** environ;

namespace platform::posix {
namespace {

// Set once the system has refused to run the starter (a sandbox, a memfd that may not be
// executed): every later program is started directly.
std::atomic<bool> refused{false};

// The vfork child: /dev/null on the standard streams, the channel on 3, the starter program
// (close-on-exec) on 4, nothing else, the usual signal actions and none blocked.
[[noreturn]] void ExecStarter(int channel, int program, volatile int* error) {
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  const int high_channel = fcntl(channel, F_DUPFD_CLOEXEC, 10);
  const int high_program = fcntl(program, F_DUPFD_CLOEXEC, 10);
  bool ready = null >= 0 && high_channel >= 0 && high_program >= 0;
  for (int stream = 0; ready && stream < 3; ++stream) ready = dup2(null, stream) == stream;
  if (!ready || dup2(high_channel, starter::kChannelFd) < 0 || dup3(high_program, 4, O_CLOEXEC) < 0) {
    *error = errno;
    _exit(127);
  }
  close_range(5, ~0U, 0);
  ResetChildSignals();
  UnblockAllSignals();
  char name[sizeof starter::kStarterName];
  std::copy(std::begin(starter::kStarterName), std::end(starter::kStarterName), name);
  char* const argv[] = {name, nullptr};
  execveat(4, "", argv, environ, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

// Starts the starter with its end of the channel; its process ID, or -1.
pid_t SpawnStarter(int channel, int program) {
  int error = 0;
  return VforkChild([&](volatile int* exec_error) { ExecStarter(channel, program, exec_error); }, &error);
}

std::optional<EngineStarter> StartStarter() {
  const int program = EngineStarterProgram();
  int ends[2];
  if (program < 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    refused.store(true);
    return std::nullopt;
  }
  EngineStarter starter;
  starter.channel.Reset(ends[0]);
  const UniqueFd theirs(ends[1]);
  starter.pid = SpawnStarter(theirs.get(), program);
  if (starter.pid < 0) {
    refused.store(true);
    return std::nullopt;
  }
  NoteOwnChild(starter.pid);
  return starter;
}

}  // namespace

std::optional<EngineStarter> TakeEngineStarter() {
  if (refused.load()) return std::nullopt;
  if (std::optional<EngineStarter> idle = TakeIdleEngineStarter()) return idle;
  return StartStarter();
}

}  // namespace platform::posix
