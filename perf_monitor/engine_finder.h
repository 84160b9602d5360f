// Which running process is the engine that this harness started: one rule over the system's
// process snapshot, the same on every system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/process_snapshot.h"

/// Whether `arguments` are the command line a harness with the process ID `harness_pid` starts
/// its engine with: "<path> /SMH=<handle> /PI=<harness_pid>", nothing more.
bool IsEngineCommandLine(std::span<const std::string> arguments, int harness_pid);

/// The harness's engine among `processes`: a descendant of the harness `harness_pid` with the
/// engine's command line; when the engine has forked, the eldest (the one whose parent is not
/// an engine too, the earliest started of those). A parent recorded as started after its child
/// is a later process that took a dead parent's ID, and no ancestor. Null when none runs.
std::optional<platform::ProcessEntry> FindEngine(std::span<const platform::ProcessEntry> processes, int harness_pid);

/// Finds the harness's engine in the live process table and reads its figures. The engine found
/// is kept until it ends, so only the search for a new engine walks every process. Not
/// thread-safe; one owner.
class EngineFinder {
 public:
  /// Over `table` (none: no engine is ever found) for the harness `harness_pid`.
  EngineFinder(std::unique_ptr<platform::ProcessTable> table, int harness_pid)
      : table_(std::move(table)), harness_pid_(harness_pid) {}

  /// The figures of the harness's engine now; null when none runs.
  std::optional<platform::ProcessFigures> Read();

 private:
  struct Found {
    int process_id = 0;
    int64_t start_time = 0;
  };
  std::optional<platform::ProcessFigures> FiguresOf(const Found& engine);

  std::unique_ptr<platform::ProcessTable> table_;
  int harness_pid_;
  std::optional<Found> engine_;
};
