// The I/O that the processes under a /proc tree did, summed per process between collections:
// a process that appears counts from zero, one that ends drops out.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/posix/proc_files.h"
#include "platform/posix/unique_fd.h"

namespace platform::posix {

class ProcessIoTotals {
 public:
  /// Keeps at most `max_open_files` io files open between collections (the rest are opened
  /// at each one).
  explicit ProcessIoTotals(size_t max_open_files) : max_open_files_(max_open_files) {}

  /// Reads every process's io file under the folder `root_fd` and returns the bytes and
  /// operations counted since the first collection, the first collection counting each
  /// process's figures from zero. A process whose file cannot be read is left out. Null when
  /// the folder cannot be listed.
  std::optional<IoCounts> Collect(int root_fd);

 private:
  struct Process {
    UniqueFd io;  // kept open: a read at offset 0 costs far less than opening again
    IoCounts last;
    bool has_last = false;
    uint64_t seen = 0;
  };

  std::optional<IoCounts> ReadProcess(int root_fd, int pid, Process* process);

  size_t max_open_files_;
  size_t open_files_ = 0;
  std::unordered_map<int, Process> processes_;
  IoCounts counted_;
  uint64_t collection_ = 0;
};

}  // namespace platform::posix
