#include "platform/standard_streams.h"

#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {

// A program started without a console or with a stream closed has no valid handle for it;
// the C runtime's descriptor is then -2 or invalid. NUL takes its place.
bool ReserveStandardStreams(unsigned* closed) {
  *closed = 0;
  for (int stream = 0; stream < 3; ++stream) {
    intptr_t handle = _get_osfhandle(stream);
    if (handle != -1 && handle != -2) continue;
    *closed |= 1u << stream;
    int fd = _open("NUL", (stream == 0 ? _O_RDONLY : _O_WRONLY) | _O_BINARY);
    if (fd < 0) return false;
    if (fd != stream) {
      bool moved = _dup2(fd, stream) == 0;
      _close(fd);
      if (!moved) return false;
    }
  }
  return true;
}

// A console redraws a line; a pipe or file does not, whatever TERM says.
bool StandardErrorIsLiveTerminal() {
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::strcmp(term, "dumb") == 0) return false;
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

namespace {

std::atomic<UINT> code_page_to_restore{0};

// A console stop that ends the process (the handler of any later-installed one returning
// FALSE) still leaves the console as it found it; FALSE lets the stop go on.
BOOL WINAPI RestoreOnStop(DWORD) {
  if (const UINT code_page = code_page_to_restore.exchange(0); code_page != 0) SetConsoleOutputCP(code_page);
  return FALSE;
}

}  // namespace

unsigned SwitchConsoleOutputToUtf8() {
  const UINT earlier = GetConsoleOutputCP();  // 0: no console
  if (earlier == 0 || earlier == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return 0;
  code_page_to_restore.store(earlier);
  SetConsoleCtrlHandler(RestoreOnStop, TRUE);
  return earlier;
}

void RestoreConsoleOutput(unsigned code_page) {
  if (code_page == 0) return;
  SetConsoleCtrlHandler(RestoreOnStop, FALSE);
  if (code_page_to_restore.exchange(0) != 0) SetConsoleOutputCP(code_page);
}

}  // namespace platform
