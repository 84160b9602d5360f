// Child processes: start a program with an argv vector (no shell), wait for it, and tell how it
// ended; plus the few facts a process needs about itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

class OpenFile;

/// Where a child's standard streams go and which session it joins.
enum class ConsoleMode {
  kShared,    ///< the caller's standard streams, session and process group
  kDetached,  ///< a new session; standard input, output and error on /dev/null
};

/// How a child ended. The cases stay apart; callers map them to their own codes.
struct ProcessOutcome {
  enum class Kind {
    kNotStarted,  ///< the program could not be started; `code` is the errno
    kExited,      ///< it exited; `code` is its exit status, 0 to 255
    kSignaled,    ///< a signal ended it; `code` is the signal number
    kWaitFailed,  ///< waiting for it failed; `code` is the errno
  };
  Kind kind;
  int code;
};

/// A started child process. Move-only. Destroying one that was started and not waited for
/// kills it (SIGKILL) and reaps it, so no zombie outlives its owner.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Starts the program at the path `argv[0]` (no search of PATH, no shell) with `argv`, the
  /// caller's environment and current folder, an empty signal mask and the usual signals at
  /// their default action. No descriptor beyond 0 to 2 reaches the child. When the start fails
  /// (no such file, not executable, no resources) the result is not started() and Wait()
  /// reports kNotStarted with the errno.
  static ChildProcess Spawn(std::span<const std::string> argv, ConsoleMode mode);

  /// Starts the open file `program` itself, never a path, so that the file that was read and
  /// checked is the file that runs; `argv[0]` is only the name the child sees. Like Spawn in
  /// everything else, and further: a standard descriptor (0 to 2) closed in this process is
  /// /dev/null in the child; the child is killed (SIGKILL) when this process dies; its start
  /// shares this process's memory until the exec, so it costs no copy of it.
  static ChildProcess SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv,
                                    ConsoleMode mode);

  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }

  /// Waits without time limit for the child to end; interrupted waits are retried. The first
  /// call reports the outcome; later calls repeat it.
  ProcessOutcome Wait();

 private:
  int pid_ = -1;
  ProcessOutcome outcome_{ProcessOutcome::Kind::kNotStarted, 0};
};

/// The calling process's ID.
uint32_t CurrentProcessId();

/// The descriptor numbers this process has open, in ascending order, without the one used to
/// list them.
std::vector<int> OpenDescriptors();

}  // namespace platform
