// ChildProcess::SpawnOpenFile: the program is started by one of this process's engine starters
// (engine_starters.h), which receives the open file, the current folder and the standard
// streams over its channel; where the system will not run a starter, vfork and execveat of the
// open file here. posix_spawn cannot run a descriptor or set a parent-death signal, so the
// child's few steps are written out here; between vfork and exec the child shares our memory
// and may use async-signal-safe calls only.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "platform/posix/adopted_children.h"
#include "platform/posix/argv_pointers.h"
#include "platform/posix/child_start.h"
#include "platform/posix/engine_starter/starter_protocol.h"
#include "platform/posix/engine_starters.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

// Everything the child needs, prepared before vfork; the child only reads it.
struct ChildPlan {
  int program_fd = -1;
  char* const* argv = nullptr;
  bool detached = false;
  bool null_stream[3] = {false, false, false};
  // The descriptor each standard stream of the child is: its own number (this process's
  // stream), or another one of ours that takes its place (an output tee's pipe).
  int stream_fd[3] = {0, 1, 2};
  pid_t parent = 0;
};

// A standard descriptor that is closed, or close-on-exec (a file of this process that took the
// place of a closed stream), would be closed in the child: /dev/null takes its place there.
bool NeedsNull(int fd) {
  const int flags = fcntl(fd, F_GETFD);
  return flags < 0 ? errno == EBADF : (flags & FD_CLOEXEC) != 0;
}

// Closes every descriptor from 3 on but the program's own, which must survive until the exec
// (it is close-on-exec, so the engine does not keep it).
void CloseInheritedDescriptors(int keep) {
  if (keep > 3) close_range(3, static_cast<unsigned>(keep) - 1, 0);
  close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
}

// Puts on the child's `stream` what the plan says: the null device, a descriptor of ours that
// takes its place, or this process's own stream as it is.
bool PlaceStream(const ChildPlan& plan, int stream) {
  if (plan.null_stream[stream]) return posix::OpenNullOn(stream);
  if (plan.stream_fd[stream] == stream) return true;
  return dup2(plan.stream_fd[stream], stream) == stream;
}

// The vfork child. It writes nothing to the memory it shares with the parent but `*error`,
// which tells the parent why the exec did not happen.
[[noreturn]] void RunChild(const ChildPlan& plan, volatile int* error) {
  // The parent may have died before the death signal was armed; then nobody waits for us.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
    *error = errno;
    _exit(127);
  }
  if (getppid() != plan.parent) {
    *error = ESRCH;
    _exit(127);
  }
  posix::ResetChildSignals();
  if (!posix::LeaveCallersGroup(plan.detached)) {
    *error = errno;
    _exit(127);
  }
  // The program's own descriptor may sit on a standard stream; it moves out of the way first.
  const int program_fd = plan.program_fd <= 2 ? fcntl(plan.program_fd, F_DUPFD_CLOEXEC, 3) : plan.program_fd;
  if (program_fd < 0) {
    *error = errno;
    _exit(127);
  }
  for (int stream = 0; stream < 3; ++stream) {
    if (!PlaceStream(plan, stream)) {
      *error = errno;
      _exit(127);
    }
  }
  CloseInheritedDescriptors(program_fd);
  posix::UnblockAllSignals();
  execveat(program_fd, "", plan.argv, environ, AT_EMPTY_PATH);
  *error = errno;
  _exit(127);
}

// The start message: its header, then the arguments and the environment, each with its NUL.
std::optional<std::string> StartMessage(const ChildPlan& plan, std::span<const std::string> argv) {
  posix::starter::Start start;
  start.detached = plan.detached ? 1 : 0;
  for (int stream = 0; stream < 3; ++stream) {
    if (!plan.null_stream[stream]) start.inherited_streams |= 1u << stream;
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
bool SendStart(int channel, const std::string& message, const ChildPlan& plan) {
  posix::UniqueFd folder(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return false;
  std::vector<int> descriptors = {plan.program_fd, folder.get()};
  for (int stream = 0; stream < 3; ++stream) {
    if (!plan.null_stream[stream]) descriptors.push_back(plan.stream_fd[stream]);
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

ChildProcess ChildProcess::SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                         const ChildOutputs* outputs) {
  ChildProcess child;
  if (argv.empty() || !program.is_open()) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, argv.empty() ? EINVAL : EBADF};
    return child;
  }
  ChildPlan plan;
  plan.program_fd = posix::Fd(program.handle());
  plan.detached = mode == ConsoleMode::kDetached;
  for (int stream = 0; stream < 3; ++stream) {
    plan.null_stream[stream] = plan.detached || NeedsNull(stream);
  }
  if (outputs != nullptr) {
    plan.stream_fd[1] = static_cast<int>(outputs->output);
    plan.stream_fd[2] = static_cast<int>(outputs->error);
    plan.null_stream[1] = plan.null_stream[2] = false;
  }
  plan.parent = getpid();

  // Through a starter when there is one; a starter that fails before it took the program is
  // let go, and the program starts directly.
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
    child.starter_id_ = starter->pid;
    child.channel_.Reset(starter->channel.Release());
    child.program_.Reset(process.Release());
    return child;
  }
  if (starter) {
    posix::DiscardEngineStarter(std::move(*starter));
    posix::ReleaseOrphans();
  }

  const posix::ArgvPointers pointers(argv);
  plan.argv = pointers.get();

  int error = 0;
  const pid_t pid = posix::VforkChild([&](volatile int* exec_error) { RunChild(plan, exec_error); }, &error);
  if (pid < 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, error};
  } else {
    child.process_id_ = pid;
    posix::NoteOwnChild(pid);
  }
  return child;
}

}  // namespace platform
