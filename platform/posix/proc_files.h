// Reading and parsing the few /proc files behind the counter query and the process table. The tree is reached
// through a descriptor of its root, so a fixture tree serves as well as the live one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace platform::posix {

/// Busy and total clock ticks of all processors, from the first line of `stat`.
/// `*sum` plus `value` into `*sum`; false, with `*sum` unchanged, when the result would not fit
/// in 64 bits: a reading that large is no reading, never a wrapped one.
bool AddWithin64Bits(int64_t value, int64_t* sum);

struct CpuTicks {
  int64_t busy = 0;
  int64_t total = 0;
};

/// Committed_AS and CommitLimit of `meminfo`, in bytes.
struct CommitCharge {
  int64_t committed_bytes = 0;
  int64_t limit_bytes = 0;
};

/// One process's I/O so far, from `<pid>/io`: rchar + wchar and syscr + syscw.
struct IoCounts {
  int64_t bytes = 0;
  int64_t operations = 0;
};

/// The "cpu" line of `stat`: busy = user + nice + system + irq + softirq + steal, total = busy +
/// idle + iowait (guest time is already inside user). Null without a line of at least 4 figures.
std::optional<CpuTicks> ParseCpuTicks(std::string_view stat);

/// Both commit lines of `meminfo` ("kB" figures); null when one is missing or malformed.
std::optional<CommitCharge> ParseCommitCharge(std::string_view meminfo);

/// rchar, wchar, syscr and syscw of a process's `io`; null when one is missing or malformed.
std::optional<IoCounts> ParseIoCounts(std::string_view io);

/// Reads the beginning of the file `path` under the folder `dir_fd` with one read into
/// `buffer`, which is all of a small /proc file. The text read, or null when the file cannot
/// be opened or read.
std::optional<std::string_view> ReadHead(int dir_fd, const char* path, std::span<char> buffer);

/// Calls `visit` with the number of every all-digit entry (a process) of the folder `dir_fd`.
/// False when the folder cannot be listed.
bool ForEachProcess(int dir_fd, const std::function<void(int pid)>& visit);

}  // namespace platform::posix

namespace platform::posix {

/// The figures of one process's `stat` line that the process table needs.
struct ProcessStat {
  int parent_pid = 0;
  int64_t cpu_ticks = 0;    ///< utime + stime, in clock ticks
  int64_t start_ticks = 0;  ///< since boot
};

/// Fields 4 (ppid), 14 and 15 (utime, stime) and 22 (starttime) of a `<pid>/stat` line,
/// counted after the command name's closing parenthesis (the name may hold anything); null
/// when the line is cut or malformed.
std::optional<ProcessStat> ParseProcessStat(std::string_view stat);

/// VmRSS of a `<pid>/status`, in bytes; null when missing (a kernel thread, a zombie).
std::optional<int64_t> ParseResidentBytes(std::string_view status);

/// rchar and wchar of a `<pid>/io`: every byte read and written.
struct ReadWriteBytes {
  int64_t read = 0;
  int64_t written = 0;
};
std::optional<ReadWriteBytes> ParseReadWriteBytes(std::string_view io);

}  // namespace platform::posix
