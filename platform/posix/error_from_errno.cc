#include "platform/posix/error_from_errno.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {
namespace {

ErrorKind KindOf(int error) {
  switch (error) {
    case EEXIST:
      return ErrorKind::kExists;
    // A path through a file, not a folder, names nothing, as Windows' "path not found" says.
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case EINVAL:
      return ErrorKind::kInvalid;
    // Windows refuses a folder opened as a file with "access denied"; so does this table.
    case EACCES:
    case EPERM:
    case EISDIR:
      return ErrorKind::kDenied;
    case EMSGSIZE:
      return ErrorKind::kTooLong;
    case EBADF:
      return ErrorKind::kNotOpen;
    case EBUSY:
      return ErrorKind::kBusy;
    case EBADMSG:
      return ErrorKind::kDamaged;
    default:
      return ErrorKind::kOther;
  }
}

}  // namespace

// strerror_r: the text of one thread's failure is never another's.
std::string ErrnoText(int error) {
  char buffer[128];
  return strerror_r(error, buffer, sizeof buffer);
}

Error ErrorFromErrno(int error, std::string text) { return {KindOf(error), error, std::move(text)}; }

Error ErrorFromErrno(int error) { return ErrorFromErrno(error, ErrnoText(error)); }

Error ErrnoFailure(std::string_view what, int error) {
  return ErrorFromErrno(error, std::string(what) + ": " + ErrnoText(error));
}

}  // namespace platform
