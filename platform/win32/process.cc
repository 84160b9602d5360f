#include "platform/process.h"

#include <io.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/open_file.h"
#include "platform/win32/child_native.h"
#include "platform/win32/handle.h"
#include "platform/win32/polite_stop.h"
// After windows.h, which it needs.
#include <psapi.h>

namespace platform {

using win32::UniqueHandle;

namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// white space or a quote (or is empty), backslashes doubled only before a quote.
void AppendQuoted(const std::string& argument, std::string* line) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    *line += argument;
    return;
  }
  *line += '"';
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      line->append(backslashes * 2 + 1, '\\');
    else
      line->append(backslashes, '\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, '\\');
  *line += '"';
}

std::string CommandLine(std::span<const std::string> argv) {
  std::string line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line += ' ';
    AppendQuoted(argument, &line);
  }
  return line;
}

// A job that ends every process in it when its last handle closes: the engine's whole tree
// ends with the harness, whichever way the harness ends.
UniqueHandle KillOnCloseJob() {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    return UniqueHandle();
  }
  return job;
}

// An inheritable copy of a standard handle for the child; none when the stream is closed.
UniqueHandle InheritableCopy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return UniqueHandle();
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return UniqueHandle();
  }
  return UniqueHandle(copy);
}

UniqueHandle InheritableNull(DWORD access) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return UniqueHandle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint64_t TicksToMicroseconds(FILETIME time) {
  return ((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 10;
}

// The full path of an open file, for the one call that wants a path; the file stays open (and
// shared for no writer) while the child starts, so the path names the file that was checked.
std::string PathOfOpenFile(HANDLE file) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(length + 1);
  }
  std::string path = win32::Narrow(buffer);
  // "\\?\C:\x" back to "C:\x"; "\\?\UNC\server\share" back to "\\server\share".
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + path.substr(7);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

}  // namespace

ChildProcess::ChildProcess() = default;

// The job closes with the Native part.
ChildProcess::~ChildProcess() {
  if (native_ && native_->process) {
    TerminateJobObject(native_->job.get(), 1);
    Wait();
  }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_id_(std::exchange(other.process_id_, -1)),
      contained_(other.contained_),
      outcome_(other.outcome_),
      native_(std::move(other.native_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    ChildProcess discarded(std::move(*this));
    process_id_ = std::exchange(other.process_id_, -1);
    contained_ = other.contained_;
    outcome_ = other.outcome_;
    native_ = std::move(other.native_);
  }
  return *this;
}

ChildProcess ChildProcess::Spawn(std::span<const std::string> argv, ConsoleMode mode) {
  return argv.empty() ? SpawnProgram("", argv, mode) : SpawnProgram(argv[0], argv, mode);
}

ChildProcess ChildProcess::SpawnOpenFile(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                         const ChildOutputs* outputs) {
  const HANDLE file = win32::DescriptorHandle(program.handle());
  if (file == INVALID_HANDLE_VALUE) {
    ChildProcess child;
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, static_cast<int>(ERROR_INVALID_HANDLE)};
    return child;
  }
  if (argv.empty()) return SpawnCommandLine("", "", mode);
  return SpawnCommandLine(PathOfOpenFile(file), CommandLine(argv), mode, outputs);
}

// Every child's tree runs in a job that ends with it.
ChildProcess ChildProcess::SpawnContained(const OpenFile& program, std::span<const std::string> argv, ConsoleMode mode,
                                          const ChildOutputs* outputs) {
  return SpawnOpenFile(program, argv, mode, outputs);
}

ChildProcess ChildProcess::SpawnProgram(const std::string& program, std::span<const std::string> argv,
                                        ConsoleMode mode) {
  if (argv.empty()) return SpawnCommandLine("", "", mode);
  return SpawnProgramLine(program, CommandLine(argv), argv, mode);
}

// The child gets the one line: the vector is for systems that hand a program its words.
ChildProcess ChildProcess::SpawnProgramLine(const std::string& program, const std::string& command_line,
                                            std::span<const std::string> /*argv*/, ConsoleMode mode) {
  return SpawnCommandLine(program, command_line, mode);
}

ChildProcess ChildProcess::SpawnShell(const std::string& command) {
  std::wstring interpreter(MAX_PATH, L'\0');
  DWORD length = GetEnvironmentVariableW(L"ComSpec", interpreter.data(), static_cast<DWORD>(interpreter.size()));
  if (length == 0 || length >= interpreter.size()) {
    length = GetSystemDirectoryW(interpreter.data(), static_cast<UINT>(interpreter.size()));
    interpreter.resize(length < interpreter.size() ? length : 0);
    interpreter += L"\\cmd.exe";
  } else {
    interpreter.resize(length);
  }
  // /s: cmd takes away the outer quotes and runs the rest exactly as typed; /d: no AutoRun.
  return SpawnCommandLine(win32::Narrow(interpreter), "cmd /d /s /c \"" + command + "\"", ConsoleMode::kShared);
}

ChildProcess ChildProcess::SpawnCommandLine(const std::string& program, const std::string& command_line,
                                            ConsoleMode mode, const ChildOutputs* outputs) {
  ChildProcess child;
  auto fail = [&child](DWORD error) {
    child.outcome_ = {ProcessOutcome::Kind::kNotStarted, static_cast<int>(error)};
    return std::move(child);
  };
  if (command_line.empty() || program.empty()) return fail(ERROR_INVALID_PARAMETER);

  UniqueHandle job = KillOnCloseJob();
  if (!job) return fail(GetLastError());

  // Only the three standard handles reach the child: the caller's own (kShared) or NUL.
  UniqueHandle streams[3];
  if (mode == ConsoleMode::kDetached) {
    streams[0] = InheritableNull(GENERIC_READ);
    streams[1] = InheritableNull(GENERIC_WRITE);
    streams[2] = InheritableNull(GENERIC_WRITE);
  } else {
    streams[0] = InheritableCopy(GetStdHandle(STD_INPUT_HANDLE));
    streams[1] = InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    streams[2] = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  }
  if (outputs != nullptr) {
    streams[1] = InheritableCopy(AsHandle(outputs->output));
    streams[2] = InheritableCopy(AsHandle(outputs->error));
    if (!streams[1] || !streams[2]) return fail(GetLastError());
  }
  HANDLE inherited[3];
  DWORD inherited_count = 0;
  for (const UniqueHandle& stream : streams) {
    if (stream) inherited[inherited_count++] = stream.get();
  }
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<std::byte> list_memory(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &list_size)) return fail(GetLastError());
  const bool listed =
      inherited_count == 0 || UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                        inherited_count * sizeof(HANDLE), nullptr, nullptr);
  if (!listed) {
    DWORD error = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    return fail(error);
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = streams[0].get();
  startup.StartupInfo.hStdOutput = streams[1].get();
  startup.StartupInfo.hStdError = streams[2].get();
  startup.lpAttributeList = attributes;
  DWORD flags = CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT;
  // A process group of its own, as on Linux: a Ctrl+C meant for the harness is not the engine's.
  flags |= mode == ConsoleMode::kDetached ? DETACHED_PROCESS : CREATE_NEW_PROCESS_GROUP;
  std::wstring application = win32::Widen(program);
  std::wstring line = win32::Widen(command_line);
  PROCESS_INFORMATION started{};
  const BOOL created = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, inherited_count > 0, flags,
                                      nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD create_error = GetLastError();
  DeleteProcThreadAttributeList(attributes);
  if (!created) return fail(create_error);
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  // In the job before its first instruction, so no grandchild can start outside it.
  if (!AssignProcessToJobObject(job.get(), process.get())) {
    DWORD error = GetLastError();
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), INFINITE);
    return fail(error);
  }
  ResumeThread(thread.get());
  child.process_id_ = static_cast<int>(started.dwProcessId);
  child.native_ = std::make_unique<Native>();
  child.native_->process = std::move(process);
  child.native_->job = std::move(job);
  child.contained_ = true;
  child.native_->console_group = mode == ConsoleMode::kShared;
  child.native_->process_id = started.dwProcessId;
  return child;
}

ProcessOutcome ChildProcess::Wait() {
  if (native_ && native_->process) {
    WaitForSingleObject(native_->process.get(), INFINITE);
    Reap();
  }
  return outcome_;
}

TimedWaitResult ChildProcess::WaitFor(std::optional<std::chrono::milliseconds> limit, std::chrono::milliseconds grace) {
  TimedWaitResult result;
  if (native_ && native_->process) {
    if (limit && !EndsWithin(*limit)) {
      result.timed_out = true;
      Terminate(grace);
    }
    WaitForSingleObject(native_->process.get(), INFINITE);
    result.usage = Reap();
  }
  result.outcome = outcome_;
  return result;
}

bool ChildProcess::EndsWithin(std::chrono::milliseconds limit) const {
  const auto count = std::clamp<int64_t>(limit.count(), 0, INFINITE - 1);
  return WaitForSingleObject(native_->process.get(), static_cast<DWORD>(count)) == WAIT_OBJECT_0;
}

// The job stays open until this object goes; the process is opened anew by its ID, as the
// waiting thread closes its handle when it reaps the child.
void ChildProcess::EndFromAnotherThread(std::chrono::milliseconds grace) const {
  if (!native_ || !native_->job) return;
  const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, native_->process_id));
  win32::EndPolitely({process.get(), native_->process_id, native_->job.get(), native_->console_group}, grace);
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) const {
  win32::EndPolitely(
      {native_->process.get(), static_cast<DWORD>(process_id_), native_->job.get(), native_->console_group}, grace);
}

ResourceUsage ChildProcess::Reap() {
  const HANDLE process = native_->process.get();
  ResourceUsage usage;
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) {
    outcome_ = {ProcessOutcome::Kind::kWaitFailed, static_cast<int>(GetLastError())};
  } else {
    outcome_ = {ProcessOutcome::Kind::kExited, static_cast<int>(code), true};
  }
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    usage.user_us = TicksToMicroseconds(user);
    usage.system_us = TicksToMicroseconds(kernel);
  }
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(process, &memory, sizeof memory)) usage.peak_rss_kib = memory.PeakWorkingSetSize / 1024;
  native_->process.Reset();
  process_id_ = -1;
  return usage;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

uint64_t OwnPeakResidentKib() {
  PROCESS_MEMORY_COUNTERS memory{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) return 0;
  return memory.PeakWorkingSetSize / 1024;
}

// No job of its own: the program stays in the caller's job (the harness's, for an engine), as
// anything a program starts does.
bool StartAndLeave(std::span<const std::string> argv) {
  if (argv.empty()) return false;
  std::wstring application = win32::Widen(argv[0]);
  std::wstring line = win32::Widen(CommandLine(argv));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                      &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

// Windows programs hold handles, not numbered descriptors: the C runtime's descriptors that
// are open are the nearest equivalent.
std::vector<int> OpenHandleNumbers() {
  std::vector<int> descriptors;
  for (int fd = 0; fd < 2048; ++fd) {
    if (_get_osfhandle(fd) != -1) descriptors.push_back(fd);
  }
  return descriptors;
}

}  // namespace platform
