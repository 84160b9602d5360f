// Child processes: start a program with an argv vector (no shell), wait for it, and tell how it
// ended; plus the few facts a process needs about itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/output_tee.h"

namespace platform {

class OpenFile;

/// Where a child's standard streams go and which session it joins.
enum class ConsoleMode {
  kShared,    ///< the caller's standard streams and session, in a process group of its own
  kDetached,  ///< a new session; standard input, output and error on the null device
};

/// How a child ended. The cases stay apart; callers map them to their own codes.
struct ProcessOutcome {
  enum class Kind {
    kNotStarted,  ///< the program could not be started; `code` is the system's number for why
    kExited,      ///< it exited; `code` is its exit status, 0 to 255
    kSignaled,    ///< a signal ended it; `code` is the signal number
    kWaitFailed,  ///< waiting for it failed; `code` is the system's number for why
  };
  Kind kind;
  int code;
  /// `code` of kExited is the whole 32-bit exit code (Windows) rather than its low 8 bits.
  bool full_width = false;
};

/// What a child cost, from the kernel's accounting when it was reaped (its own and that of
/// the children it waited for).
struct ResourceUsage {
  uint64_t user_us = 0;       ///< user CPU time in microseconds
  uint64_t system_us = 0;     ///< system CPU time in microseconds
  uint64_t peak_rss_kib = 0;  ///< peak resident memory in KiB
};

/// Why a child run in the background of a terminal was ended instead of waited for: the
/// terminal stopped it for reading it, or for writing to or setting it.
enum class TerminalStop { kNone, kReading, kWriting };

/// The end of a wait with a time limit.
struct TimedWaitResult {
  ProcessOutcome outcome;
  ResourceUsage usage;     ///< zero unless the child was reaped
  bool timed_out = false;  ///< the limit passed and the child was ended by this wait
  /// Whether the terminal stopped the child, which was then ended (under a starter only).
  TerminalStop terminal_stop = TerminalStop::kNone;
};

/// A started child process. Move-only. Destroying one that was started and not waited for
/// kills it and reaps it, so no ended child outlives its owner unreaped.
class ChildProcess {
 public:
  /// The system's own part of a child (platform/<os>/child_native.h): how the system names it,
  /// or what runs it there. Only the platform's implementation looks inside.
  struct Native;

  ChildProcess();
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Starts the program at the path `argv[0]` (no search of PATH, no shell) with `argv`, the
  /// caller's environment and current folder, and none of the caller's signal handling or
  /// blocking. No handle of this process but the standard streams reaches the
  /// child. When the start fails (no such file, not executable, no resources) the result is not
  /// started() and Wait() reports kNotStarted with the system's number for why.
  static ChildProcess Spawn(std::span<const std::string> argv, ConsoleMode mode);

  /// Like Spawn, but starts the program at the path `program`, and `argv[0]` is only the name
  /// the child sees.
  static ChildProcess SpawnProgram(const std::string& program, std::span<const std::string> argv, ConsoleMode mode);

  /// Like SpawnProgram, but where the system hands a program one command-line text (Windows)
  /// the child gets `command_line` exactly as given, to scan as it does; elsewhere it gets
  /// `argv`.
  static ChildProcess SpawnProgramLine(const std::string& program, const std::string& command_line,
                                       std::span<const std::string> argv, ConsoleMode mode);

  /// Starts the open file `program` itself, never a path, so that the file that was read and
  /// checked is the file that runs; `argv[0]` is only the name the child sees. Like Spawn in
  /// everything else, and further: a standard stream closed in this process is the null device
  /// in the child; its start shares this process's memory until the exec, so it
  /// costs no copy of it; the program is this process's child and is killed when this process
  /// dies. With `outputs`, the program's standard output and error are those ends (an
  /// OutputTee's) in place of this process's own or the null device, in either mode.
  static ChildProcess SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                    const ChildOutputs* outputs = nullptr);

  /// Like SpawnOpenFile, and the program's whole tree is contained: ended when the program
  /// ends, when the child is ended and when this process dies, whatever group or session its
  /// members join, and the program's own resource usage is reported. On Linux a starter that
  /// this process keeps runs the program (in the platform_contained_start library, which only a
  /// program that asks for this carries); where the system refuses the starter, this is
  /// SpawnOpenFile and contained() is false. On Windows every child's tree is contained.
  static ChildProcess SpawnContained(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                     const ChildOutputs* outputs = nullptr);

  /// Runs `command` through the system's shell, as a user's command line runs (/bin/sh -c on
  /// Linux; on Windows the command interpreter of ComSpec, else the system's cmd.exe, as
  /// "cmd /d /s /c"), sharing this process's standard streams, environment and current folder.
  /// Like Spawn in everything else: the result is the shell's own process.
  static ChildProcess SpawnShell(const std::string& command);

  bool started() const { return process_id_ > 0; }
  int process_id() const { return process_id_; }
  /// Whether the child's whole tree was held to end with it (see SpawnContained), rather than
  /// its process group alone; kept after the child has been reaped.
  bool contained() const { return contained_; }
  /// The system's own part; null when the child has none (it was started without one, or was
  /// moved from).
  const Native* native() const { return native_.get(); }

  /// Waits without time limit for the child to end; interrupted waits are retried. The first
  /// call reports the outcome; later calls repeat it.
  ProcessOutcome Wait();

  /// Ends the child as WaitFor does when its limit passes (asked, `grace` later ended with its
  /// whole tree), from another thread while this one waits for it: a service that is asked to
  /// stop ends the program it runs. Safe until the ChildProcess is moved or destroyed, also
  /// after the child has been reaped. On Windows only: on Linux a stop reaches a service's
  /// program as a signal of its own, and this does nothing.
  void EndFromAnotherThread(std::chrono::milliseconds grace) const;

  /// Waits at most `limit` (none: no limit) for the child to end, then reaps it with its
  /// resource usage. When the limit passes, the child (with its process group when it leads
  /// one) is asked to end, `grace` later killed, and reaped; under a starter the same goes to
  /// the program's group and then its whole tree is ended. The result is
  /// then marked timed out, whatever its outcome. Interrupted waits are retried. A starter
  /// that dies, or stops and does not answer within `grace`, is ended with what is left of the
  /// program's tree, and the outcome is kWaitFailed.
  /// On a child that was not started, or already waited for, only the outcome is repeated.
  TimedWaitResult WaitFor(std::optional<std::chrono::milliseconds> limit, std::chrono::milliseconds grace);

 private:
  bool EndsWithin(std::chrono::milliseconds limit) const;
  void Terminate(std::chrono::milliseconds grace) const;
  ResourceUsage Reap();
  /// Where a program reads its own command line (Windows): starts `program` with the whole
  /// line `command_line`, taken as it stands.
  static ChildProcess SpawnCommandLine(const std::string& program, const std::string& command_line, ConsoleMode mode,
                                       const ChildOutputs* outputs = nullptr);

  int process_id_ = -1;
  TerminalStop terminal_stop_ = TerminalStop::kNone;
  bool contained_ = false;
  ProcessOutcome outcome_{ProcessOutcome::Kind::kNotStarted, 0};
  std::unique_ptr<Native> native_;
};

/// The calling process's ID.
uint32_t CurrentProcessId();

/// The calling process's peak resident memory so far, in KiB, as the system counts it for a
/// child's ResourceUsage (Linux: the maximum resident set; Windows: the peak working set);
/// 0 when the system cannot tell.
uint64_t OwnPeakResidentKib();

/// Starts `argv` with no console, its standard streams on the null device, and lets it go:
/// nothing of this process waits for it or ends it, so it outlives this process unless what
/// holds this process's whole tree ends it (a session of its own on Linux, as a daemon's; on
/// Windows it stays in this process's job). False when it could not be started.
bool StartAndLeave(std::span<const std::string> argv);

/// The numbers by which this process names the files and handles it has open (the C runtime's
/// numbers on Windows), in ascending order, without any used only to list them; 0 to 2 are the
/// standard streams.
std::vector<int> OpenHandleNumbers();

}  // namespace platform
