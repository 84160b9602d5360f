#include "platform/service_program.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/program_path.h"
#include "platform/win32/handle.h"

namespace platform {
namespace {

// The dispatcher calls ServiceMain with no room for context: one service per process, so the
// service's state lives here for the process's life.
struct RunningService {
  std::string name;
  std::string program;
  const ServiceWork* work = nullptr;
  SERVICE_STATUS_HANDLE status = nullptr;
  int exit_status = 0;
};
RunningService this_service;

void Report(DWORD state, int exit_status) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = 0;  // the work ends when the harness ends
  if (exit_status != 0) {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exit_status);
  }
  SetServiceStatus(this_service.status, &status);
}

DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
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

// Standard output and error, of this program and of what it starts, appended to the log.
void OutputToLog() {
  const std::filesystem::path log =
      std::filesystem::path(this_service.program).parent_path() / (this_service.name + ".log");
  HANDLE file = CreateFileW(log.wstring().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  // Text mode, as the harness writes its lines into the same log.
  const int log_fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_APPEND | _O_TEXT);
  if (log_fd < 0) {
    CloseHandle(file);
    return;
  }
  // Descriptors 1 and 2 of this program; the standard handles are the ones that the programs
  // it starts inherit.
  for (const auto& [fd, standard] : {std::pair{1, STD_OUTPUT_HANDLE}, std::pair{2, STD_ERROR_HANDLE}}) {
    if (_dup2(log_fd, fd) == 0) SetStdHandle(standard, reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
  }
  _close(log_fd);
  BindStream(stdout, 1);
  BindStream(stderr, 2);
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
  this_service.status = RegisterServiceCtrlHandlerExA(this_service.name.c_str(), HandleControl, nullptr);
  if (this_service.status == nullptr) return;
  OutputToLog();
  Report(SERVICE_RUNNING, 0);
  // argv[0] is the service's name; the start arguments follow it.
  std::vector<std::string> arguments{this_service.program};
  for (DWORD i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  this_service.exit_status = (*this_service.work)(arguments);
  std::fflush(nullptr);
  Report(SERVICE_STOPPED, this_service.exit_status);
}

}  // namespace

int RunServiceProgram(const char* name, int argc, char** argv, const ServiceWork& work) {
  const std::optional<std::string> program = RunningProgramPath();
  this_service = {name, program ? *program : (argc > 0 ? argv[0] : ""), &work, nullptr, 0};
  std::string table_name = name;
  SERVICE_TABLE_ENTRYA table[] = {{table_name.data(), ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherA(table)) return this_service.exit_status;
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return 1;
  return work(std::vector<std::string>(argv, argv + argc));  // started from a console
}

}  // namespace platform
