#include "platform/engine_process.h"

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

// How far up the parent chain a descendant of the harness may sit (harness, a starter, the
// engine and what it forked).
constexpr int kMostGenerations = 16;

// The engine's argv: exactly three elements, the second "/SMH=..." and the third "/PI=...".
bool IsEngineCommandLine(std::string_view cmdline) {
  if (cmdline.ends_with('\0')) cmdline.remove_suffix(1);
  const size_t first_end = cmdline.find('\0');
  if (first_end == std::string_view::npos) return false;
  std::string_view rest = cmdline.substr(first_end + 1);
  const size_t second_end = rest.find('\0');
  if (second_end == std::string_view::npos) return false;
  const std::string_view handle = rest.substr(0, second_end), process = rest.substr(second_end + 1);
  return handle.starts_with("/SMH=") && process.starts_with("/PI=") && process.find('\0') == std::string_view::npos;
}

class ProcEngineProbe final : public EngineProcessProbe {
 public:
  ProcEngineProbe(posix::UniqueFd root, int harness_pid) : root_(std::move(root)), harness_pid_(harness_pid) {}

  std::optional<ProcessFigures> Read() override {
    if (engine_pid_ != 0) {
      if (auto figures = FiguresOf(engine_pid_)) return figures;
    }
    engine_pid_ = FindEngine();
    if (engine_pid_ == 0) return std::nullopt;
    return FiguresOf(engine_pid_);
  }

 private:
  std::optional<posix::ProcessStat> StatOf(int pid) {
    const std::string path = std::to_string(pid) + "/stat";
    if (auto text = posix::ReadHead(root_.get(), path.c_str(), buffer_)) return posix::ParseProcessStat(*text);
    return std::nullopt;
  }

  bool IsEngine(int pid) {
    const std::string path = std::to_string(pid) + "/cmdline";
    auto text = posix::ReadHead(root_.get(), path.c_str(), buffer_);
    return text && IsEngineCommandLine(*text);
  }

  bool DescendsFromHarness(int parent_pid) {
    for (int generation = 0; generation < kMostGenerations && parent_pid > 1; ++generation) {
      if (parent_pid == harness_pid_) return true;
      auto stat = StatOf(parent_pid);
      if (!stat) return false;
      parent_pid = stat->parent_pid;
    }
    return false;
  }

  int FindEngine() {
    int eldest_pid = 0;
    int64_t eldest_start = 0;
    posix::ForEachProcess(root_.get(), [&](int pid) {
      if (!IsEngine(pid)) return;
      auto stat = StatOf(pid);
      if (!stat || !DescendsFromHarness(stat->parent_pid)) return;
      if (eldest_pid == 0 || stat->start_ticks < eldest_start) {
        eldest_pid = pid;
        eldest_start = stat->start_ticks;
      }
    });
    return eldest_pid;
  }

  std::optional<ProcessFigures> FiguresOf(int pid) {
    auto stat = StatOf(pid);
    // A pid that now names another process is not the engine any more.
    if (!stat || !IsEngine(pid)) return std::nullopt;
    static const int64_t ns_per_tick = 1'000'000'000 / std::max<int64_t>(1, sysconf(_SC_CLK_TCK));
    if (stat->cpu_ticks > INT64_MAX / ns_per_tick) return std::nullopt;
    ProcessFigures figures;
    figures.process_id = pid;
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

  posix::UniqueFd root_;
  int harness_pid_;
  int engine_pid_ = 0;
  std::array<char, 4096> buffer_{};
};

}  // namespace

std::unique_ptr<EngineProcessProbe> EngineProcessProbe::Open(int harness_pid) {
  return OpenEngineProbeAt(ProcRoot(), harness_pid);
}

std::unique_ptr<EngineProcessProbe> OpenEngineProbeAt(const std::string& root, int harness_pid) {
  posix::UniqueFd fd(posix::RetryOnEintr([&] { return open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!fd) return nullptr;
  return std::make_unique<ProcEngineProbe>(std::move(fd), harness_pid);
}

}  // namespace platform
