#include "platform/posix/process_io_totals.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace platform::posix {
namespace {

// Reads a whole small io file from the start of an open descriptor.
std::optional<IoCounts> ReadAt0(int fd) {
  std::array<char, 512> buffer;
  const ssize_t got = RetryOnEintr([&] { return pread(fd, buffer.data(), buffer.size(), 0); });
  if (got < 0) return std::nullopt;
  return ParseIoCounts(std::string_view(buffer.data(), static_cast<size_t>(got)));
}

}  // namespace

std::optional<IoCounts> ProcessIoTotals::ReadProcess(int root_fd, int pid, Process* process) {
  if (process->io) {
    if (std::optional<IoCounts> now = ReadAt0(process->io.get())) return now;
    // The process behind the open file ended; the number may belong to a new one now.
    process->io.Reset();
    --open_files_;
    process->has_last = false;
  }
  char path[32];
  auto [end, code] = std::to_chars(path, path + sizeof path - 4, pid);
  if (code != std::errc()) return std::nullopt;
  std::copy_n("/io", 4, end);
  UniqueFd io(RetryOnEintr([&] { return openat(root_fd, path, O_RDONLY | O_CLOEXEC); }));
  if (!io) return std::nullopt;
  std::optional<IoCounts> now = ReadAt0(io.get());
  if (now && open_files_ < max_open_files_) {
    process->io = std::move(io);
    ++open_files_;
  }
  return now;
}

std::optional<IoCounts> ProcessIoTotals::Collect(int root_fd) {
  const uint64_t collection = ++collection_;
  IoCounts counted = counted_;
  bool fits = true;
  const bool listed = ForEachProcess(root_fd, [&](int pid) {
    Process& process = processes_[pid];
    std::optional<IoCounts> now = ReadProcess(root_fd, pid, &process);
    if (!now) return;  // gone, or not ours to read: dropped below
    IoCounts before{};
    // Figures that went back belong to a new process under a reused number.
    if (process.has_last && process.last.bytes <= now->bytes && process.last.operations <= now->operations) {
      before = process.last;
    }
    fits = AddWithin64Bits(now->bytes - before.bytes, &counted.bytes) &&
           AddWithin64Bits(now->operations - before.operations, &counted.operations) && fits;
    process.last = *now;
    process.has_last = true;
    process.seen = collection;
  });
  if (!listed) return std::nullopt;
  // A total past 64 bits is no reading; the next collection counts on from the last good one.
  std::erase_if(processes_, [&](const auto& entry) {
    if (entry.second.seen == collection) return false;
    if (entry.second.io) --open_files_;
    return true;
  });
  if (!fits) return std::nullopt;
  counted_ = counted;
  return counted;
}

}  // namespace platform::posix
