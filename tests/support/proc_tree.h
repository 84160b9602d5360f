// A fixture /proc tree for the counter query: stat, meminfo and per-process io files in a
// fresh temporary folder, changed between collections.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

class ProcTree : public TempFolder {
 public:
  /// Writes `stat` with `cpu_line` ("cpu  user nice system idle ...") as its first line.
  void SetStat(std::string_view cpu_line) const;
  /// Writes `meminfo` with the two commit lines among others.
  void SetMeminfo(int64_t committed_kb, int64_t limit_kb) const;
  /// Writes `meminfo` as given.
  void SetMeminfoText(std::string_view text) const;
  /// Writes `<pid>/io` in place with the four counters the query reads and the rest of a real
  /// file.
  void SetProcessIo(int pid, int64_t rchar, int64_t wchar, int64_t syscr, int64_t syscw) const;
  /// Makes `<pid>/io` unreadable like the file of another user's process: an existing file
  /// reads as nothing, a new one is a folder that cannot be opened as a file.
  void MakeIoUnreadable(int pid) const;
  /// What a process is, for the engine probe: its parent, command line (argv joined by NUL
  /// bytes), processor time and start in clock ticks, resident KiB. Writes `<pid>/stat`,
  /// `cmdline` and `status`.
  struct Process {
    int pid = 0;
    int parent = 0;
    std::string cmdline;
    int64_t cpu_ticks = 0;
    int64_t start_ticks = 0;
    int64_t resident_kib = 0;
  };
  void SetProcess(const Process& process) const;
  /// Removes `<pid>`, as when the process ends.
  void RemoveProcess(int pid) const;
};

/// A monotonic clock for the query that moves one second further at every reading.
struct SteppingClock {
  int64_t now_ns = 0;
  int64_t operator()() { return now_ns += 1'000'000'000; }
};
