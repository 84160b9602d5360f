#include "platform/engine_process.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <map>
#include <vector>

#include "platform/win32/handle.h"

namespace platform {
namespace {

using win32::UniqueHandle;

int64_t Hundreds(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// The harness starts nothing but engines, each in a job of its own: the engine is the eldest
// live descendant of the harness (the process an engine started is younger than the engine).
class WindowsEngineProbe final : public EngineProcessProbe {
 public:
  explicit WindowsEngineProbe(int harness_pid) : harness_pid_(static_cast<DWORD>(harness_pid)) {}

  std::optional<ProcessFigures> Read() override {
    if (engine_ && WaitForSingleObject(engine_.get(), 0) == WAIT_TIMEOUT) return FiguresOf(engine_.get(), engine_pid_);
    engine_.Reset();
    if (!FindEngine()) return std::nullopt;
    return FiguresOf(engine_.get(), engine_pid_);
  }

 private:
  bool FindEngine() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    std::multimap<DWORD, DWORD> children;  // parent -> child
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
      if (entry.th32ProcessID != entry.th32ParentProcessID)
        children.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
    }
    // Process ids are used again once a process ends: only a descendant that started after the
    // harness's own start counts.
    const int64_t harness_start = StartOf(harness_pid_);
    int64_t eldest_start = 0;
    std::vector<DWORD> pending{harness_pid_};
    for (size_t depth = 0; !pending.empty() && depth < 64; ++depth) {
      std::vector<DWORD> next;
      for (DWORD parent : pending) {
        auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
          UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, it->second));
          if (!process) continue;
          const int64_t start = StartOf(process.get());
          if (start < harness_start) continue;
          next.push_back(it->second);
          if (!engine_ || start < eldest_start) {
            engine_ = std::move(process);
            engine_pid_ = it->second;
            eldest_start = start;
          }
        }
      }
      pending = std::move(next);
    }
    return static_cast<bool>(engine_);
  }

  static int64_t StartOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    return GetProcessTimes(process, &created, &exited, &kernel, &user) ? Hundreds(created) : 0;
  }
  static int64_t StartOf(DWORD pid) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    return process ? StartOf(process.get()) : 0;
  }

  static std::optional<ProcessFigures> FiguresOf(HANDLE process, DWORD pid) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    ProcessFigures figures;
    figures.process_id = static_cast<int>(pid);
    figures.cpu_ns = (Hundreds(kernel) + Hundreds(user)) * 100;
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
      figures.resident_bytes = static_cast<int64_t>(memory.WorkingSetSize);
    }
    IO_COUNTERS io{};
    if (GetProcessIoCounters(process, &io)) {
      figures.read_bytes = static_cast<int64_t>(io.ReadTransferCount);
      figures.written_bytes = static_cast<int64_t>(io.WriteTransferCount);
    }
    return figures;
  }

  DWORD harness_pid_;
  UniqueHandle engine_;
  DWORD engine_pid_ = 0;
};

}  // namespace

std::unique_ptr<EngineProcessProbe> EngineProcessProbe::Open(int harness_pid) {
  return std::make_unique<WindowsEngineProbe>(harness_pid);
}

}  // namespace platform
