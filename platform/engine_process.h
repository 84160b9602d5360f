// The engine process as the kernel counts it: found among the running processes by the command
// line that every engine is started with, and read while it runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

/// What the kernel has counted of one process since it started.
struct ProcessFigures {
  int process_id = 0;
  int64_t cpu_ns = 0;                     ///< user and system time
  std::optional<int64_t> resident_bytes;  ///< resident memory now
  std::optional<int64_t> read_bytes;      ///< every byte it read, files and pipes alike
  std::optional<int64_t> written_bytes;   ///< every byte it wrote
};

/// Finds the engine that one harness started and reads its figures. Not thread-safe; one
/// owner.
class EngineProcessProbe {
 public:
  virtual ~EngineProcessProbe() = default;

  /// A probe of the live system for the engines of the harness whose process ID is `harness`;
  /// null when the system's processes cannot be read.
  static std::unique_ptr<EngineProcessProbe> Open(int harness);

  /// The figures of the harness's engine now: a descendant of the harness whose command line
  /// is the engine's ("<path> /SMH=<handle> /PI=<process id>"), the eldest such when the
  /// engine has forked. Null when none runs. The engine found is kept until it ends, so only
  /// the search for a new engine walks every process.
  virtual std::optional<ProcessFigures> Read() = 0;
};

}  // namespace platform
