#include "platform/process_snapshot.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/posix/proc_files.h"
#include "platform/posix/proc_root.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

// A command line is NUL-terminated arguments; a line that ended without its last NUL keeps
// the part it has.
std::vector<std::string> SplitArguments(std::string_view cmdline) {
  std::vector<std::string> arguments;
  while (!cmdline.empty()) {
    const size_t end = std::min(cmdline.find('\0'), cmdline.size());
    arguments.emplace_back(cmdline.substr(0, end));
    cmdline.remove_prefix(std::min(end + 1, cmdline.size()));
  }
  return arguments;
}

// All of a /proc file, which may be longer than one read returns; null when it cannot be read.
std::optional<std::string> ReadWhole(int dir_fd, const std::string& path) {
  posix::UniqueFd fd(posix::RetryOnEintr([&] { return openat(dir_fd, path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!fd) return std::nullopt;
  std::string text;
  std::array<char, 4096> chunk;
  for (;;) {
    const ssize_t got = posix::RetryOnEintr([&] { return read(fd.get(), chunk.data(), chunk.size()); });
    if (got < 0) return std::nullopt;
    if (got == 0) return text;
    text.append(chunk.data(), static_cast<size_t>(got));
  }
}

class ProcProcessTable final : public ProcessTable {
 public:
  explicit ProcProcessTable(posix::UniqueFd root) : root_(std::move(root)) {}

  std::vector<ProcessEntry> Snapshot() override {
    std::vector<ProcessEntry> entries;
    posix::ForEachProcess(root_.get(), [&](int pid) {
      auto stat = StatOf(pid);
      if (!stat) return;  // ended meanwhile
      ProcessEntry entry{pid, stat->parent_pid, stat->start_ticks, {}};
      if (auto cmdline = ReadWhole(root_.get(), std::to_string(pid) + "/cmdline"))
        entry.arguments = SplitArguments(*cmdline);
      entries.push_back(std::move(entry));
    });
    return entries;
  }

  std::optional<ProcessFigures> Figures(int pid) override {
    auto stat = StatOf(pid);
    if (!stat) return std::nullopt;
    static const int64_t ns_per_tick = 1'000'000'000 / std::max<int64_t>(1, sysconf(_SC_CLK_TCK));
    if (stat->cpu_ticks > INT64_MAX / ns_per_tick) return std::nullopt;
    ProcessFigures figures;
    figures.process_id = pid;
    figures.start_time = stat->start_ticks;
    figures.cpu_ns = stat->cpu_ticks * ns_per_tick;
    const std::string prefix = std::to_string(pid) + "/";
    if (auto text = posix::ReadHead(root_.get(), (prefix + "status").c_str(), buffer_))
      figures.resident_bytes = posix::ParseResidentBytes(*text);
    if (auto text = posix::ReadHead(root_.get(), (prefix + "io").c_str(), buffer_)) {
      if (auto bytes = posix::ParseReadWriteBytes(*text)) {
        figures.read_bytes = bytes->read;
        figures.written_bytes = bytes->written;
      }
    }
    return figures;
  }

 private:
  std::optional<posix::ProcessStat> StatOf(int pid) {
    const std::string path = std::to_string(pid) + "/stat";
    if (auto text = posix::ReadHead(root_.get(), path.c_str(), buffer_)) return posix::ParseProcessStat(*text);
    return std::nullopt;
  }

  posix::UniqueFd root_;
  std::array<char, 4096> buffer_{};
};

}  // namespace

std::unique_ptr<ProcessTable> ProcessTable::Open() { return OpenProcessTableAt(ProcRoot()); }

std::unique_ptr<ProcessTable> OpenProcessTableAt(const std::string& root) {
  posix::UniqueFd fd(posix::RetryOnEintr([&] { return open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!fd) return nullptr;
  return std::make_unique<ProcProcessTable>(std::move(fd));
}

}  // namespace platform
