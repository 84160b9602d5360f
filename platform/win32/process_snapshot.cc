#include "platform/process_snapshot.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <array>

#include "platform/win32/command_line_split.h"
#include "platform/win32/handle.h"

namespace platform {
namespace {

using win32::UniqueHandle;

int64_t Hundreds(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

struct Times {
  int64_t start = 0;   ///< creation, in 100 ns since 1601
  int64_t cpu_ns = 0;  ///< kernel and user time
};

std::optional<Times> TimesOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  return Times{Hundreds(created), (Hundreds(kernel) + Hundreds(user)) * 100};
}

// Another process's command line, which the system hands out since Windows 8.1 (and Wine).
class CommandLineReader {
 public:
  std::vector<std::string> Read(HANDLE process) {
    // What the query fills: the text's description, then the text itself (at most 32767
    // characters).
    struct CountedText {
      USHORT length;  // in bytes
      USHORT maximum_length;
      PWSTR text;
    };
    constexpr ULONG kProcessCommandLineInformation = 60;
    ULONG size = 0;
    if (query_ == nullptr ||
        query_(process, kProcessCommandLineInformation, buffer_.data(), sizeof buffer_, &size) != 0)
      return {};
    const auto* counted = reinterpret_cast<const CountedText*>(buffer_.data());
    if (counted->text == nullptr || counted->length == 0) return {};
    DWORD error = 0;
    auto arguments = win32::SplitCommandLine(std::wstring(counted->text, counted->length / sizeof(wchar_t)), &error);
    return arguments ? std::move(*arguments) : std::vector<std::string>{};
  }

 private:
  using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  Query query_ = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  // 64-bit elements keep the description aligned for its pointer.
  std::array<uint64_t, (sizeof(void*) * 2 + 65536) / sizeof(uint64_t)> buffer_{};
};

class ToolhelpProcessTable final : public ProcessTable {
 public:
  std::vector<ProcessEntry> Snapshot() override {
    std::vector<ProcessEntry> entries;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return entries;
    PROCESSENTRY32W listed{};
    listed.dwSize = sizeof listed;
    for (BOOL more = Process32FirstW(snapshot.get(), &listed); more; more = Process32NextW(snapshot.get(), &listed)) {
      if (listed.th32ProcessID == 0) continue;  // the idle process
      ProcessEntry entry{static_cast<int>(listed.th32ProcessID), static_cast<int>(listed.th32ParentProcessID), 0, {}};
      // A process this user may not query keeps its start and command line unknown.
      UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, listed.th32ProcessID));
      if (process) {
        if (auto times = TimesOf(process.get())) entry.start_time = times->start;
        entry.arguments = command_lines_.Read(process.get());
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  }

  std::optional<ProcessFigures> Figures(int process_id) override {
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id)));
    // An ended process whose handle someone still holds is no running process.
    if (!process || WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return std::nullopt;
    const auto times = TimesOf(process.get());
    if (!times) return std::nullopt;
    ProcessFigures figures;
    figures.process_id = process_id;
    figures.start_time = times->start;
    figures.cpu_ns = times->cpu_ns;
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process.get(), &memory, sizeof memory))
      figures.resident_bytes = static_cast<int64_t>(memory.WorkingSetSize);
    IO_COUNTERS io{};
    if (GetProcessIoCounters(process.get(), &io)) {
      figures.read_bytes = static_cast<int64_t>(io.ReadTransferCount);
      figures.written_bytes = static_cast<int64_t>(io.WriteTransferCount);
    }
    return figures;
  }

 private:
  CommandLineReader command_lines_;
};

}  // namespace

std::unique_ptr<ProcessTable> ProcessTable::Open() { return std::make_unique<ToolhelpProcessTable>(); }

}  // namespace platform
