// A program of the build running in the background while a test acts on it: signals it,
// watches its descriptors, memory and children through /proc, and collects its outcome.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/program_runner.h"

class BackgroundProgram {
 public:
  /// Starts `program` with `args` in `folder`, with `environment` added to the caller's and
  /// `input` as its standard input; standard output and error go to files of its own.
  /// `close_output`: its standard output is closed instead. Throws std::runtime_error when it
  /// cannot be started.
  BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::filesystem::path& folder, const std::map<std::string, std::string>& environment = {},
                    const std::string& input = "", bool close_output = false);
  /// Kills (SIGKILL) and reaps it when it still runs.
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  int pid() const { return pid_; }
  void Signal(int signal) const;
  /// Waits for it to end; output and errors as it wrote them.
  ProgramRun Wait();

 private:
  int pid_ = -1;
  std::filesystem::path streams_;
};

/// The open descriptors of process `pid`, from /proc (empty when it is gone).
std::vector<int> DescriptorsOf(int pid);
/// The resident memory of process `pid` in KiB (VmRSS), -1 when it is gone.
long ResidentKiB(int pid);
/// The process IDs whose parent is `pid`, with their states ('R', 'S', 'Z', ...).
std::map<int, char> ChildrenOf(int pid);
/// Whether process `pid` exists and has not ended (a zombie has ended).
bool IsRunning(int pid);
/// How long a test waits for an event (a file written, a process ended) before it calls it
/// missing: never reached when things work, and long enough for a loaded machine.
constexpr double kEventBoundSeconds = 120;
/// Waits up to `seconds` for `done` to hold, polling every 10 ms; its last answer.
bool WaitFor(double seconds, const std::function<bool()>& done);
