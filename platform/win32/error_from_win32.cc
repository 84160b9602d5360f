#include "platform/win32/error_from_win32.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32/handle.h"

namespace platform {
namespace {

ErrorKind KindOf(DWORD error) {
  switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
    case ERROR_SERVICE_EXISTS:
    // A mailslot of that name is served already.
    case ERROR_PIPE_BUSY:
      return ErrorKind::kExists;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_SERVICE_DOES_NOT_EXIST:
    // A path whose folder part names a file.
    case ERROR_DIRECTORY:
      return ErrorKind::kNotFound;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
      return ErrorKind::kInvalid;
    case ERROR_ACCESS_DENIED:
      return ErrorKind::kDenied;
    case ERROR_LOCK_VIOLATION:
    case ERROR_SERVICE_ALREADY_RUNNING:
    case ERROR_SERVICE_DATABASE_LOCKED:
      return ErrorKind::kBusy;
    default:
      return ErrorKind::kOther;
  }
}

}  // namespace

Error ErrorFromWin32(unsigned long error, std::string text) {
  return {KindOf(error), static_cast<int>(error), std::move(text)};
}

Error ErrorFromWin32(unsigned long error) { return ErrorFromWin32(error, win32::ErrorText(error)); }

Error Win32Failure(std::string_view what, unsigned long error) {
  return ErrorFromWin32(error, std::string(what) + ": " + win32::ErrorText(error));
}

}  // namespace platform
