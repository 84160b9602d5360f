#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/posix/adopted_children.h"
#include "platform/posix/argv_pointers.h"
#include "platform/posix/child_native.h"
#include "platform/posix/child_start.h"
#include "platform/posix/engine_starter/starter_protocol.h"
#include "platform/posix/engine_starters.h"
#include "platform/posix/unique_fd.h"

extern char** environ;

namespace platform {
namespace {

// posix_spawn's attribute and file-action objects, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attr_ok_) posix_spawnattr_destroy(&attr_);
    if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Fills in everything; returns 0 or the error number of the step that failed.
  int Prepare(ConsoleMode mode) {
    if (!attr_ok_ || !actions_ok_) return ENOMEM;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    // A group of its own in both modes, so that a time limit ends the child with everything
    // it started. A shared child stays in the background: the terminal's keys (Ctrl-C) keep
    // reaching the caller, which decides what becomes of the child.
    flags |= mode == ConsoleMode::kDetached ? POSIX_SPAWN_SETSID : POSIX_SPAWN_SETPGROUP;
    sigset_t empty;
    sigset_t defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    // Whatever the caller ignores or handles, the child starts with the usual actions.
    for (int signal : posix::kChildDefaultSignals) sigaddset(&defaults, signal);
    if (int error = posix_spawnattr_setflags(&attr_, flags)) return error;
    if (int error = posix_spawnattr_setsigmask(&attr_, &empty)) return error;
    if (int error = posix_spawnattr_setsigdefault(&attr_, &defaults)) return error;
    if (mode == ConsoleMode::kDetached) {
      if (int error = AddNullStreams()) return error;
    }
    // Every descriptor we open is close-on-exec; this also keeps out any that a library or
    // our own parent left inheritable.
    return posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
  }

  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  int AddNullStreams() {
    if (int error = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0)) {
      return error;
    }
    for (int stream : {1, 2}) {
      if (int error = posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null", O_WRONLY, 0)) {
        return error;
      }
    }
    return 0;
  }

  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  bool attr_ok_ = false;
  bool actions_ok_ = false;
};

ProcessOutcome OutcomeOf(int status) {
  if (WIFSIGNALED(status)) return {ProcessOutcome::Kind::kSignaled, WTERMSIG(status)};
  return {ProcessOutcome::Kind::kExited, WEXITSTATUS(status)};
}

using Clock = std::chrono::steady_clock;

uint64_t Microseconds(const timeval& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1'000'000 + static_cast<uint64_t>(time.tv_usec);
}

int PollMilliseconds(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
}

// Without a process descriptor (an old kernel, a sandbox that refuses it) the child is
// looked at every few milliseconds instead; it is never reaped here.
bool EndsWithinByPolling(int pid, Clock::time_point deadline) {
  for (;;) {
    siginfo_t info{};
    int status = posix::RetryOnEintr([&] { return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT); });
    if (status < 0 || info.si_pid != 0) return true;  // a failed wait is told by the reaping
    if (Clock::now() >= deadline) return false;
    usleep(5000);
  }
}

// Whether the starter `pid`, this process's child, is stopped; the stop stays to be seen again.
bool IsStopped(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid &&
         info.si_code == CLD_STOPPED;
}

// The starter's report of its program's end. False when the starter has gone (its end of the
// channel closed), said something else, or stopped and did not answer within `grace`; a
// starter that is busy ending a large tree is waited for.
bool ReceiveFromStarter(int channel, int starter, std::chrono::milliseconds grace, posix::starter::Ended* ended) {
  for (;;) {
    pollfd watch{channel, POLLIN, 0};
    const int ready = posix::RetryOnEintr([&] { return poll(&watch, 1, static_cast<int>(grace.count())); });
    if (ready < 0) return false;
    if (ready > 0) break;
    if (IsStopped(starter)) return false;
  }
  const ssize_t got = posix::RetryOnEintr([&] { return recv(channel, ended, sizeof *ended, MSG_DONTWAIT); });
  return got == sizeof *ended && ended->kind == posix::starter::Kind::kEnded;
}

// Tells the starter something about its program; async-signal-safe.
template <typename Message>
void SendToStarter(int channel, const Message& message) {
  send(channel, &message, sizeof message, MSG_NOSIGNAL);
}

// Hands the starter back for the next program once it has reported this one's end; else lets
// it go.
void ReleaseStarter(ChildProcess::Native* native, bool reusable) {
  posix::EngineStarter starter;
  starter.pid = native->starter_id;
  starter.channel.Reset(static_cast<int>(native->channel.Release()));
  native->program.Reset();
  if (reusable) {
    posix::ReturnEngineStarter(std::move(starter));
  } else {
    posix::DiscardEngineStarter(std::move(starter));
  }
  posix::ReleaseOrphans();
}

// A starter that died or stopped cannot end the program's tree: the program and its group are
// killed from here (the program is unreaped, by the stopped starter or, once the starter is
// gone, by this process, which adopts it), then the starter, then all that the starter's death
// handed to this process.
void AbandonStarter(ChildProcess::Native* native, int program_id) {
  syscall(SYS_pidfd_send_signal, posix::Fd(native->program), SIGKILL, nullptr, 0);
  kill(-program_id, SIGKILL);
  posix::EngineStarter starter;
  starter.pid = native->starter_id;
  starter.channel.Reset(static_cast<int>(native->channel.Release()));
  native->program.Reset();
  posix::KillEngineStarter(std::move(starter));
  posix::EndAdoptedChildren();
  posix::ReleaseOrphans();
}

}  // namespace

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess() {
  if (process_id_ > 0) {
    if (native_) {
      // The starter kills the program's group and then the rest of its tree.
      SendToStarter(posix::Fd(native_->channel), posix::starter::EndTree{});
    } else {
      kill(process_id_, SIGKILL);
    }
    Wait();
  }
  if (native_) ReleaseStarter(native_.get(), false);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_id_(std::exchange(other.process_id_, -1)),
      terminal_stop_(other.terminal_stop_),
      contained_(other.contained_),
      outcome_(other.outcome_),
      native_(std::move(other.native_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    ChildProcess discarded(std::move(*this));
    process_id_ = std::exchange(other.process_id_, -1);
    terminal_stop_ = other.terminal_stop_;
    contained_ = other.contained_;
    outcome_ = other.outcome_;
    native_ = std::move(other.native_);
  }
  return *this;
}

ChildProcess ChildProcess::Spawn(std::span<const std::string> argv, ConsoleMode mode) {
  return argv.empty() ? SpawnProgram("", argv, mode) : SpawnProgram(argv[0], argv, mode);
}

ChildProcess ChildProcess::SpawnShell(const std::string& command) {
  const std::string argv[] = {"/bin/sh", "-c", command};
  return Spawn(argv, ConsoleMode::kShared);
}

ChildProcess ChildProcess::SpawnProgram(const std::string& program, std::span<const std::string> argv,
                                        ConsoleMode mode) {
  ChildProcess child;
  if (argv.empty()) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, EINVAL};
    return child;
  }
  const posix::ArgvPointers pointers(argv);

  SpawnSetup setup;
  int error = setup.Prepare(mode);
  pid_t pid = -1;
  // glibc reports a failed exec (no such file, not executable) as posix_spawn's own result.
  if (error == 0) {
    error = posix_spawn(&pid, program.c_str(), setup.actions(), setup.attr(), pointers.get(), environ);
  }
  if (error != 0) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, error};
    return child;
  }
  child.process_id_ = pid;
  posix::NoteOwnChild(pid);
  return child;
}

ProcessOutcome ChildProcess::Wait() {
  if (process_id_ > 0 && native_) Reap();
  while (process_id_ > 0) {
    int status = 0;
    pid_t done = posix::RetryOnEintr([&] { return waitpid(process_id_, &status, 0); });
    if (done < 0) {
      outcome_ = {ProcessOutcome::Kind::kWaitFailed, errno};
    } else if (WIFEXITED(status) || WIFSIGNALED(status)) {
      outcome_ = OutcomeOf(status);
    } else {
      continue;  // stopped or continued: it has not ended yet
    }
    posix::ForgetOwnChild(std::exchange(process_id_, -1));
  }
  return outcome_;
}

TimedWaitResult ChildProcess::WaitFor(std::optional<std::chrono::milliseconds> limit, std::chrono::milliseconds grace) {
  TimedWaitResult result;
  if (native_) native_->starter_grace = grace;
  if (process_id_ > 0) {
    if (limit && !EndsWithin(*limit)) {
      result.timed_out = true;
      Terminate(grace);
    }
    result.usage = Reap();
  }
  result.outcome = outcome_;
  result.terminal_stop = terminal_stop_;
  return result;
}

// Whether the child ends (without being reaped) within `limit`.
bool ChildProcess::EndsWithin(std::chrono::milliseconds limit) const {
  const Clock::time_point deadline = Clock::now() + limit;
  if (native_) {
    // The starter's next word is the report of the program's end (or its own end of file); the
    // program's own end counts too, for a starter that can no longer report it.
    for (;;) {
      pollfd watch[2] = {{posix::Fd(native_->channel), POLLIN, 0}, {posix::Fd(native_->program), POLLIN, 0}};
      const int ready = poll(watch, native_->program.is_open() ? 2 : 1, PollMilliseconds(deadline));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return true;  // told by the reaping
      if (Clock::now() >= deadline) return false;
    }
  }
  posix::UniqueFd process(static_cast<int>(syscall(SYS_pidfd_open, process_id_, 0)));
  if (!process) return EndsWithinByPolling(process_id_, deadline);
  for (;;) {
    pollfd watch{process.get(), POLLIN, 0};
    int ready = poll(&watch, 1, PollMilliseconds(deadline));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return EndsWithinByPolling(process_id_, deadline);
    if (Clock::now() >= deadline) return false;
  }
}

// A service's program here is stopped by a signal to it, which it hands on itself.
void ChildProcess::EndFromAnotherThread(std::chrono::milliseconds) const {}

ChildProcess ChildProcess::SpawnProgramLine(const std::string& program, const std::string&,
                                            std::span<const std::string> argv, ConsoleMode mode) {
  return SpawnProgram(program, argv, mode);
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) const {
  if (native_) {
    // The starter hands SIGTERM and SIGCONT on to the program's group, and after the grace kills
    // the group; it ends the rest of the tree when the program has ended.
    const int channel = posix::Fd(native_->channel);
    SendToStarter(channel, posix::starter::Forward{posix::starter::Kind::kForward, SIGTERM});
    if (!EndsWithin(grace)) SendToStarter(channel, posix::starter::EndTree{});
    return;
  }
  // Never the caller's own group: only a child that leads a group is ended with it.
  const int target = getpgid(process_id_) == process_id_ ? -process_id_ : process_id_;
  kill(target, SIGTERM);
  kill(target, SIGCONT);  // a stopped member could not act on SIGTERM
  EndsWithin(grace);
  // Sent even when the child has ended, to any member that outlived it. The child is not
  // reaped yet, so its group ID cannot have passed to another process.
  kill(target, SIGKILL);
}

ResourceUsage ChildProcess::Reap() {
  if (native_) {
    // The starter reaped the program, measured it alone and ended the rest of its tree.
    posix::starter::Ended ended;
    if (!ReceiveFromStarter(posix::Fd(native_->channel), native_->starter_id, native_->starter_grace, &ended)) {
      AbandonStarter(native_.get(), process_id_);
      native_.reset();
      process_id_ = -1;
      outcome_ = {ProcessOutcome::Kind::kWaitFailed, ECHILD};
      return {};
    }
    process_id_ = -1;
    ReleaseStarter(native_.get(), true);
    native_.reset();
    outcome_ = OutcomeOf(ended.status);
    terminal_stop_ = ended.terminal_stop == SIGTTIN   ? TerminalStop::kReading
                     : ended.terminal_stop == SIGTTOU ? TerminalStop::kWriting
                                                      : TerminalStop::kNone;
    return {ended.user_us, ended.system_us, ended.peak_rss_kib};
  }
  int status = 0;
  rusage usage{};
  const pid_t done = posix::RetryOnEintr([&] { return wait4(process_id_, &status, 0, &usage); });
  posix::ForgetOwnChild(std::exchange(process_id_, -1));
  if (done < 0) {
    outcome_ = {ProcessOutcome::Kind::kWaitFailed, errno};
    return {};
  }
  outcome_ = OutcomeOf(status);
  // Linux counts ru_maxrss in KiB.
  return {Microseconds(usage.ru_utime), Microseconds(usage.ru_stime), static_cast<uint64_t>(usage.ru_maxrss)};
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint64_t OwnPeakResidentKib() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss);  // Linux counts it in KiB
}

std::vector<int> OpenHandleNumbers() {
  std::vector<int> descriptors;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return descriptors;
  int own = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    int number = -1;
    const char* name = entry->d_name;
    const char* end = name + std::strlen(name);
    auto [last, error] = std::from_chars(name, end, number);
    if (error == std::errc() && last == end && number != own) descriptors.push_back(number);
  }
  closedir(folder);
  std::sort(descriptors.begin(), descriptors.end());
  return descriptors;
}

}  // namespace platform
