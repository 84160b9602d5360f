#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool QueryFileSize(const char* path, int64_t* size) {
  struct stat status;
  if (path == nullptr || stat(path, &status) != 0) return false;
  *size = status.st_size;
  return true;
}

UniqueStream OpenBinaryStream(const char* path) {
  if (path == nullptr) return nullptr;
  int fd;
  // Non-blocking, so that a FIFO cannot stall the open before it is refused below.
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  UniqueStream stream(fdopen(fd, "rb"));
  if (!stream) close(fd);
  return stream;
}

UniqueStream CreateWriteStream(const char* path) {
  if (path == nullptr) return nullptr;
  // "e" opens the descriptor close-on-exec.
  return UniqueStream(fopen(path, "w+e"));
}
