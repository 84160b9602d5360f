#include "platform/service_program.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/process_arguments.h"
#include "platform/program_path.h"
#include "platform/win32/handle.h"

namespace platform {
namespace {

// How long the manager is told that a stop may take: the work's own grace periods, with room.
constexpr DWORD kStopWaitHintMs = 30000;

// The dispatcher calls ServiceMain with no room for context: one service per process, so the
// service's state lives here for the process's life.
struct RunningService {
  std::string name;
  std::string program;  // UTF-8
  const ServiceWork* work = nullptr;
  const ServiceStop* stop = nullptr;
  SERVICE_STATUS_HANDLE status = nullptr;
  int exit_status = 0;
  std::mutex mutex;  // guards what follows, shared with the control handler's thread
  bool running = false;
  bool stopping = false;
  std::thread stopper;  // runs `stop` once it is asked for
};
RunningService this_service;

void Report(DWORD state, int exit_status) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  const bool takes_stop = state == SERVICE_RUNNING && this_service.stop != nullptr && *this_service.stop;
  status.dwControlsAccepted = takes_stop ? SERVICE_ACCEPT_STOP : 0;
  if (state == SERVICE_STOP_PENDING) status.dwWaitHint = kStopWaitHintMs;
  if (exit_status != 0) {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exit_status);
  }
  SetServiceStatus(this_service.status, &status);
}

// Runs on the dispatcher's thread, which must answer at once: the stop itself runs on a thread
// of its own, and the work's end reports the service stopped.
DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (control != SERVICE_CONTROL_STOP || this_service.stop == nullptr || !*this_service.stop) {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  const std::lock_guard lock(this_service.mutex);
  if (!this_service.running || this_service.stopping) return NO_ERROR;
  this_service.stopping = true;
  Report(SERVICE_STOP_PENDING, 0);
  this_service.stopper = std::thread(*this_service.stop);
  return NO_ERROR;
}

// Points `stream` at descriptor `fd`. A service starts with no standard handles, and the C
// runtime may then give stdout and stderr no descriptor at all (Wine's gives -2), which freopen
// refuses: such a stream is bound to the descriptor directly.
void BindStream(std::FILE* stream, int fd) {
#ifndef _UCRT
  if (_fileno(stream) < 0) stream->_file = fd;
#endif
  std::setvbuf(stream, nullptr, _IONBF, 0);
}

// The log beside the program: its folder taken from the UTF-8 path, so that any name works.
std::string LogPath() { return win32::FolderOf(this_service.program) + "\\" + this_service.name + ".log"; }

// Standard output and error, of this program and of what it starts, appended to the log.
void OutputToLog() {
  win32::UniqueHandle file =
      win32::OpenPath(LogPath(), FILE_APPEND_DATA, OPEN_ALWAYS, 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!file) return;
  // Text mode, as the harness writes its lines into the same log.
  const int log_fd = win32::ToDescriptor(std::move(file), _O_WRONLY | _O_APPEND | _O_TEXT);
  if (log_fd < 0) return;
  // Descriptors 1 and 2 of this program; the standard handles are the ones that the programs
  // it starts inherit.
  for (const auto& [fd, standard] : {std::pair{1, STD_OUTPUT_HANDLE}, std::pair{2, STD_ERROR_HANDLE}}) {
    if (_dup2(log_fd, fd) == 0) SetStdHandle(standard, reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
  }
  _close(log_fd);
  BindStream(stdout, 1);
  BindStream(stderr, 2);
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  this_service.status = RegisterServiceCtrlHandlerExW(win32::Widen(this_service.name).c_str(), HandleControl, nullptr);
  if (this_service.status == nullptr) return;
  // A console of its own (a service has none), before the log takes the standard handles: what
  // the work starts shares it, so that a stop can reach it as a console's Ctrl+Break.
  AllocConsole();
  OutputToLog();
  // argv[0] is the service's name; the start arguments follow it.
  std::vector<std::string> arguments{this_service.program};
  for (DWORD i = 1; i < argc; ++i) arguments.push_back(win32::Narrow(argv[i]));
  {
    const std::lock_guard lock(this_service.mutex);
    this_service.running = true;
    Report(SERVICE_RUNNING, 0);
  }
  this_service.exit_status = (*this_service.work)(arguments);
  std::thread stopper;
  {
    const std::lock_guard lock(this_service.mutex);
    this_service.running = false;
    stopper = std::move(this_service.stopper);
  }
  if (stopper.joinable()) stopper.join();
  std::fflush(nullptr);
  Report(SERVICE_STOPPED, this_service.exit_status);
}

}  // namespace

int RunServiceProgram(const char* name, int argc, char** argv, const ServiceWork& work, const ServiceStop& stop) {
  const std::optional<std::string> program = RunningProgramPath();
  this_service.name = name;
  this_service.program = program ? *program : (argc > 0 ? argv[0] : "");
  this_service.work = &work;
  this_service.stop = &stop;
  std::wstring table_name = win32::Widen(name);
  SERVICE_TABLE_ENTRYW table[] = {{table_name.data(), ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table)) return this_service.exit_status;
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return 1;
  // Started from a console: the arguments as UTF-8, whatever the code page.
  std::vector<std::string> arguments;
  Error ignored;
  if (!ReadProcessArguments(&arguments, &ignored)) arguments.assign(argv, argv + argc);
  return work(arguments);
}

}  // namespace platform
