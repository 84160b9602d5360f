#include "platform/posix/proc_files.h"

#include <dirent.h>

#include <charconv>
#include <cstdint>
#include <memory>

#include "platform/posix/unique_fd.h"

namespace platform::posix {
namespace {

constexpr int64_t kBytesPerKilobyte = 1024;

// Reads one unsigned decimal figure after optional blanks; advances `text` past it.
bool TakeFigure(std::string_view* text, int64_t* figure) {
  size_t start = text->find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  const char* first = text->data() + start;
  const char* last = text->data() + text->size();
  auto [end, code] = std::from_chars(first, last, *figure);
  if (code != std::errc() || *figure < 0) return false;
  text->remove_prefix(static_cast<size_t>(end - text->data()));
  return true;
}

// The figure after "`key`:" on the line that starts with it, searching from the start of a line.
bool FigureAfterKey(std::string_view text, std::string_view key, int64_t* figure) {
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ':') {
      line.remove_prefix(key.size() + 1);
      return TakeFigure(&line, figure);
    }
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return false;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool AddWithin64Bits(int64_t value, int64_t* sum) {
  int64_t result = 0;
  if (__builtin_add_overflow(*sum, value, &result)) return false;
  *sum = result;
  return true;
}

std::optional<CpuTicks> ParseCpuTicks(std::string_view stat) {
  std::string_view line = stat.substr(0, stat.find('\n'));
  if (!line.starts_with("cpu ")) return std::nullopt;
  line.remove_prefix(4);
  // user nice system idle iowait irq softirq steal; older kernels stop after idle.
  int64_t ticks[8] = {};
  int count = 0;
  while (count < 8 && TakeFigure(&line, &ticks[count])) ++count;
  if (count < 4) return std::nullopt;
  CpuTicks result;
  for (int busy : {0, 1, 2, 5, 6, 7}) {
    if (!AddWithin64Bits(ticks[busy], &result.busy)) return std::nullopt;
  }
  result.total = result.busy;
  for (int idle : {3, 4}) {
    if (!AddWithin64Bits(ticks[idle], &result.total)) return std::nullopt;
  }
  return result;
}

std::optional<CommitCharge> ParseCommitCharge(std::string_view meminfo) {
  CommitCharge charge;
  if (!FigureAfterKey(meminfo, "Committed_AS", &charge.committed_bytes) ||
      !FigureAfterKey(meminfo, "CommitLimit", &charge.limit_bytes)) {
    return std::nullopt;
  }
  if (__builtin_mul_overflow(charge.committed_bytes, kBytesPerKilobyte, &charge.committed_bytes) ||
      __builtin_mul_overflow(charge.limit_bytes, kBytesPerKilobyte, &charge.limit_bytes)) {
    return std::nullopt;
  }
  return charge;
}

std::optional<IoCounts> ParseIoCounts(std::string_view io) {
  int64_t rchar = 0, wchar = 0, syscr = 0, syscw = 0;
  if (!FigureAfterKey(io, "rchar", &rchar) || !FigureAfterKey(io, "wchar", &wchar) ||
      !FigureAfterKey(io, "syscr", &syscr) || !FigureAfterKey(io, "syscw", &syscw)) {
    return std::nullopt;
  }
  if (!AddWithin64Bits(wchar, &rchar) || !AddWithin64Bits(syscw, &syscr)) return std::nullopt;
  return IoCounts{rchar, syscr};
}

std::optional<std::string_view> ReadHead(int dir_fd, const char* path, std::span<char> buffer) {
  UniqueFd fd(RetryOnEintr([&] { return openat(dir_fd, path, O_RDONLY | O_CLOEXEC); }));
  if (!fd) return std::nullopt;
  ssize_t got = RetryOnEintr([&] { return read(fd.get(), buffer.data(), buffer.size()); });
  if (got < 0) return std::nullopt;
  return std::string_view(buffer.data(), static_cast<size_t>(got));
}

bool ForEachProcess(int dir_fd, const std::function<void(int pid)>& visit) {
  UniqueFd listing(RetryOnEintr([&] { return openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!listing) return false;
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(listing.get()));
  if (!dir) return false;
  listing.Release();  // the DIR owns it now
  while (const dirent* entry = readdir(dir.get())) {
    std::string_view name(entry->d_name);
    int pid = 0;
    auto [end, code] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (code == std::errc() && end == name.data() + name.size() && pid > 0) visit(pid);
  }
  return true;
}

std::optional<ProcessStat> ParseProcessStat(std::string_view stat) {
  const size_t name_end = stat.rfind(')');
  if (name_end == std::string_view::npos) return std::nullopt;
  // Fields from 3 (the state) on, separated by single spaces; some (priority, nice) may be
  // negative, so only the wanted ones are read as figures.
  std::string_view rest = stat.substr(name_end + 1);
  int64_t parent = 0, utime = 0, stime = 0, start = 0;
  int field = 2;
  while (!rest.empty() && field < 22) {
    rest.remove_prefix(1);
    ++field;
    std::string_view token = rest.substr(0, rest.find(' '));
    rest.remove_prefix(token.size());
    int64_t* wanted = field == 4    ? &parent
                      : field == 14 ? &utime
                      : field == 15 ? &stime
                      : field == 22 ? &start
                                    : nullptr;
    if (wanted != nullptr && !TakeFigure(&token, wanted)) return std::nullopt;
  }
  if (field < 22 || parent > INT32_MAX || utime > INT64_MAX - stime) return std::nullopt;
  return ProcessStat{static_cast<int>(parent), utime + stime, start};
}

std::optional<int64_t> ParseResidentBytes(std::string_view status) {
  int64_t kib = 0;
  if (!FigureAfterKey(status, "VmRSS", &kib) || kib > INT64_MAX / kBytesPerKilobyte) return std::nullopt;
  return kib * kBytesPerKilobyte;
}

std::optional<ReadWriteBytes> ParseReadWriteBytes(std::string_view io) {
  ReadWriteBytes bytes;
  if (!FigureAfterKey(io, "rchar", &bytes.read) || !FigureAfterKey(io, "wchar", &bytes.written)) return std::nullopt;
  return bytes;
}

}  // namespace platform::posix
