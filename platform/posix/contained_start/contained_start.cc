// ChildProcess::SpawnContained: the program is started by one of this process's engine
// starters, which receives the open file, the current folder and the standard streams over its
// channel and holds the program's whole tree; where the system will not run a starter, the
// program is started directly (SpawnOpenFile) and the result says it is not contained.
#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/open_file.h"
#include "platform/posix/adopted_children.h"
#include "platform/posix/child_native.h"
#include "platform/posix/child_start.h"
#include "platform/posix/contained_start/starter_launch.h"
#include "platform/posix/engine_starter/starter_protocol.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// What the starter is told about the program's start, besides its words.
struct StartPlan {
  int program_fd = -1;
  bool detached = false;
  posix::ChildStreams streams;
};

// The start message: its header, then the arguments and the environment, each with its NUL.
std::optional<std::string> StartMessage(const StartPlan& plan, std::span<const std::string> argv) {
  posix::starter::Start start;
  start.detached = plan.detached ? 1 : 0;
  for (int stream = 0; stream < 3; ++stream) {
    if (!plan.streams.null_stream[stream]) start.inherited_streams |= 1u << stream;
  }
  start.argc = static_cast<uint32_t>(argv.size());
  start.cpu = sched_getcpu();
  std::string message(sizeof start, '\0');
  for (const std::string& argument : argv) message.append(argument.c_str(), argument.size() + 1);
  for (char** variable = environ; *variable != nullptr; ++variable) {
    message.append(*variable, std::strlen(*variable) + 1);
    ++start.envc;
  }
  if (message.size() > posix::starter::kMaxMessage) return std::nullopt;
  std::memcpy(message.data(), &start, sizeof start);
  return message;
}

// Sends the start with the program, the current folder and the inherited standard streams.
bool SendStart(int channel, const std::string& message, const StartPlan& plan) {
  posix::UniqueFd folder(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return false;
  std::vector<int> descriptors = {plan.program_fd, folder.get()};
  for (int stream = 0; stream < 3; ++stream) {
    if (!plan.streams.null_stream[stream]) descriptors.push_back(plan.streams.fd[stream]);
  }
  iovec data = {const_cast<char*>(message.data()), message.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 5)] = {};
  msghdr header = {};
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
  cmsghdr* rights = CMSG_FIRSTHDR(&header);
  rights->cmsg_level = SOL_SOCKET;
  rights->cmsg_type = SCM_RIGHTS;
  rights->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
  std::memcpy(CMSG_DATA(rights), descriptors.data(), sizeof(int) * descriptors.size());
  return posix::RetryOnEintr([&] { return sendmsg(channel, &header, MSG_NOSIGNAL); }) ==
         static_cast<ssize_t>(message.size());
}

// The starter's answer to a start, with the program's process descriptor when it sent one.
bool ReceiveStarted(int channel, posix::starter::Started* started, posix::UniqueFd* program) {
  iovec data = {started, sizeof *started};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr header = {};
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  const ssize_t got = posix::RetryOnEintr([&] { return recvmsg(channel, &header, MSG_CMSG_CLOEXEC); });
  const cmsghdr* rights = CMSG_FIRSTHDR(&header);
  if (got > 0 && rights != nullptr && rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS &&
      rights->cmsg_len == CMSG_LEN(sizeof(int))) {
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(rights), sizeof fd);
    program->Reset(fd);
  }
  return got == sizeof *started && started->kind == posix::starter::Kind::kStarted;
}

}  // namespace

ChildProcess ChildProcess::SpawnContained(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                          const ChildOutputs* outputs) {
  if (argv.empty() || !program.is_open()) return SpawnOpenFile(program, argv, mode, outputs);
  StartPlan plan;
  plan.program_fd = posix::Fd(program.handle());
  plan.detached = mode == ConsoleMode::kDetached;
  plan.streams = posix::ChooseChildStreams(plan.detached, outputs ? static_cast<int>(outputs->output) : -1,
                                           outputs ? static_cast<int>(outputs->error) : -1);

  ChildProcess child;
  // A starter that fails before it took the program is let go, and the program starts directly.
  const std::optional<std::string> message = StartMessage(plan, argv);
  std::optional<posix::EngineStarter> starter = message ? posix::TakeEngineStarter() : std::nullopt;
  // From the start on, an orphan of the program's tree comes to this process should the
  // starter die, rather than to init.
  if (starter) posix::HoldOrphans();
  if (starter && SendStart(starter->channel.get(), *message, plan)) {
    posix::starter::Started started;
    posix::UniqueFd process;
    if (!ReceiveStarted(starter->channel.get(), &started, &process)) {
      posix::KillEngineStarter(std::move(*starter));
      posix::EndAdoptedChildren();
      posix::ReleaseOrphans();
      child.outcome_ = {ProcessOutcome::Kind::kNotStarted, ECHILD};
      return child;
    }
    if (started.error != 0) {
      posix::ReturnEngineStarter(std::move(*starter));
      posix::ReleaseOrphans();
      child.outcome_ = {ProcessOutcome::Kind::kNotStarted, started.error};
      return child;
    }
    child.process_id_ = started.pid;
    child.native_ = std::make_unique<Native>();
    child.native_->starter_id = starter->pid;
    child.native_->channel.Reset(starter->channel.Release());
    child.native_->program.Reset(process.Release());
    child.contained_ = true;
    return child;
  }
  if (starter) {
    posix::DiscardEngineStarter(std::move(*starter));
    posix::ReleaseOrphans();
  }
  return SpawnOpenFile(program, argv, mode, outputs);
}

}  // namespace platform
