// The running processes as the system lists them (ancestry, start and command line), and what
// the kernel has counted of one of them: the facts a monitor picks a process by and samples.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// One process as the system lists it.
struct ProcessEntry {
  int process_id = 0;
  int parent_id = 0;       ///< the process that started it, as the system records it; 0 when none
  int64_t start_time = 0;  ///< when it started, in the system's own unit: only to be compared
  /// Its command line, one element per argument (Windows: its one text split by the system's
  /// rules); empty when it cannot be read (another user's process, a zombie).
  std::vector<std::string> arguments;
};

/// What the kernel has counted of one process since it started.
struct ProcessFigures {
  int process_id = 0;
  int64_t start_time = 0;                 ///< as in ProcessEntry: tells it from a later process with its ID
  int64_t cpu_ns = 0;                     ///< user and system time
  std::optional<int64_t> resident_bytes;  ///< resident memory now
  std::optional<int64_t> read_bytes;      ///< every byte it read, files and pipes alike
  std::optional<int64_t> written_bytes;   ///< every byte it wrote
};

/// The processes of the system. Not thread-safe; one owner.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;

  /// The live system's processes; null when they cannot be read.
  static std::unique_ptr<ProcessTable> Open();

  /// Every process now, in no particular order. A process that ends while the list is taken may
  /// be missing or lack its command line. Empty when the processes cannot be listed.
  virtual std::vector<ProcessEntry> Snapshot() = 0;

  /// The figures of the running process `process_id` now; null when none runs with that ID or
  /// its figures cannot be read. Reads that one process only.
  virtual std::optional<ProcessFigures> Figures(int process_id) = 0;
};

}  // namespace platform
