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

// A text as the system describes it: its length in bytes and where it lies.
struct CountedText {
  USHORT length;
  USHORT maximum_length;
  PWSTR text;
};

// Another process's command line: handed out by the system since Windows 8.1; where it is not
// (Wine), read from the process's own parameter block, which works for a process of this
// program's width and, from a 64-bit program, for a 32-bit one too (its native block is 64-bit).
class CommandLineReader {
 public:
  std::vector<std::string> Read(HANDLE process) {
    std::optional<std::wstring> line = Query(process);
    if (!line) line = FromParameterBlock(process);
    if (!line || line->empty()) return {};
    DWORD error = 0;
    auto arguments = win32::SplitCommandLine(*line, &error);
    return arguments ? std::move(*arguments) : std::vector<std::string>{};
  }

 private:
  std::optional<std::wstring> Query(HANDLE process) {
    constexpr ULONG kProcessCommandLineInformation = 60;
    ULONG size = 0;
    // The description, then the text itself (at most 32767 characters).
    if (query_ == nullptr ||
        query_(process, kProcessCommandLineInformation, buffer_.data(), sizeof buffer_, &size) != 0)
      return std::nullopt;
    const auto* counted = reinterpret_cast<const CountedText*>(buffer_.data());
    if (counted->text == nullptr) return std::nullopt;
    return std::wstring(counted->text, counted->length / sizeof(wchar_t));
  }

  // The process's environment block (PEB) names its parameter block, which holds the command
  // line's description; all three are read from the process's memory.
  std::optional<std::wstring> FromParameterBlock(HANDLE process) {
    constexpr ULONG kProcessBasicInformation = 0;
    constexpr size_t kParametersInBlock = sizeof(void*) == 8 ? 0x20 : 0x10;
    constexpr size_t kCommandLineInParameters = sizeof(void*) == 8 ? 0x70 : 0x40;
    struct BasicInformation {
      LONG exit_status;
      PVOID environment_block;
      ULONG_PTR rest[4];
    } basic{};
    ULONG size = 0;
    if (query_ == nullptr || query_(process, kProcessBasicInformation, &basic, sizeof basic, &size) != 0)
      return std::nullopt;
    PVOID parameters = nullptr;
    CountedText counted{};
    if (!ReadFrom(process, static_cast<const char*>(basic.environment_block) + kParametersInBlock, &parameters,
                  sizeof parameters) ||
        !ReadFrom(process, static_cast<const char*>(parameters) + kCommandLineInParameters, &counted, sizeof counted))
      return std::nullopt;
    std::wstring line(counted.length / sizeof(wchar_t), L'\0');
    if (!ReadFrom(process, counted.text, line.data(), line.size() * sizeof(wchar_t))) return std::nullopt;
    return line;
  }

  static bool ReadFrom(HANDLE process, const void* address, void* into, size_t size) {
    SIZE_T got = 0;
    return address != nullptr && ReadProcessMemory(process, address, into, size, &got) && got == size;
  }

  using QueryFunction = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  QueryFunction query_ = reinterpret_cast<QueryFunction>(
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
      UniqueHandle process(
          OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, listed.th32ProcessID));
      if (!process) process.Reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, listed.th32ProcessID));
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
