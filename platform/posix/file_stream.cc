#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/unique_fd.h"

using platform::posix::OpenCloexec;
using platform::posix::UniqueFd;

bool QueryFileSize(const char* path, int64_t* size) {
  struct stat status;
  if (path == nullptr || stat(path, &status) != 0) return false;
  *size = status.st_size;
  return true;
}

UniqueStream OpenBinaryStream(const char* path) {
  if (path == nullptr) return nullptr;
  // Non-blocking, so that a FIFO cannot stall the open before it is refused below.
  UniqueFd fd = OpenCloexec(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (!fd) return nullptr;
  struct stat status;
  if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  UniqueStream stream(fdopen(fd.get(), "rb"));
  if (stream) fd.Release();  // the stream owns it now
  return stream;
}

UniqueStream CreateWriteStream(const char* path, std::string* error) {
  if (path == nullptr) return nullptr;
  // Non-blocking for the open only: a FIFO without a reader fails at once (ENXIO).
  UniqueFd fd = OpenCloexec(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (!fd) {
    const int open_error = errno;
    // A protected folder refuses a link of another user before O_NOFOLLOW does: say which.
    struct stat status;
    *error = lstat(path, &status) == 0 && S_ISLNK(status.st_mode)
                 ? std::string(path) + ": it is a symbolic link (output files are never written through one)"
                 : std::string(path) + ": " + std::strerror(open_error);
    return nullptr;
  }
  fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  UniqueStream stream(fdopen(fd.get(), "w"));
  if (!stream) {
    *error = std::string(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  fd.Release();  // the stream owns it now
  return stream;
}
