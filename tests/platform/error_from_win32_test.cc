// The one Windows error table: every number that callers tell apart lands in its class, the
// same class whichever service meets it, and the number and the system's words travel with it.
#include "platform/win32/error_from_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::ErrorFromWin32;
using platform::ErrorKind;

struct Win32Case {
  DWORD number;
  ErrorKind kind;
};

TEST(ErrorFromWin32Test, EachNumberHasOneClass) {
  constexpr Win32Case kCases[] = {
      {ERROR_ALREADY_EXISTS, ErrorKind::kExists},
      {ERROR_FILE_EXISTS, ErrorKind::kExists},
      {ERROR_SERVICE_EXISTS, ErrorKind::kExists},
      {ERROR_PIPE_BUSY, ErrorKind::kExists},
      {ERROR_FILE_NOT_FOUND, ErrorKind::kNotFound},
      {ERROR_PATH_NOT_FOUND, ErrorKind::kNotFound},
      {ERROR_SERVICE_DOES_NOT_EXIST, ErrorKind::kNotFound},
      {ERROR_DIRECTORY, ErrorKind::kNotFound},
      {ERROR_INVALID_NAME, ErrorKind::kInvalid},
      {ERROR_BAD_PATHNAME, ErrorKind::kInvalid},
      {ERROR_INVALID_PARAMETER, ErrorKind::kInvalid},
      {ERROR_ACCESS_DENIED, ErrorKind::kDenied},
      {ERROR_LOCK_VIOLATION, ErrorKind::kBusy},
      {ERROR_SERVICE_ALREADY_RUNNING, ErrorKind::kBusy},
      {ERROR_SERVICE_DATABASE_LOCKED, ErrorKind::kBusy},
      {ERROR_SHARING_VIOLATION, ErrorKind::kOther},
      {ERROR_DISK_FULL, ErrorKind::kOther},
      {ERROR_FILENAME_EXCED_RANGE, ErrorKind::kOther},
  };
  for (const Win32Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.number));
    const platform::Error error = ErrorFromWin32(c.number);
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.code, static_cast<int>(c.number));
    EXPECT_FALSE(error.text.empty());
    EXPECT_NE(error.text.back(), '\n') << "the system's message without its line end";
  }
}

TEST(ErrorFromWin32Test, TheCallersWordsReplaceTheSystems) {
  const platform::Error error = ErrorFromWin32(ERROR_ACCESS_DENIED, "cannot open the service TestSrv");
  EXPECT_EQ(error.kind, ErrorKind::kDenied);
  EXPECT_EQ(error.text, "cannot open the service TestSrv");
}

}  // namespace
