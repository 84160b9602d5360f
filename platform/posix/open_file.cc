#include "platform/open_file.h"

#include <sys/stat.h>

#include <utility>

#include "platform/posix/unique_fd.h"

namespace platform {

using posix::Fd;
using posix::OpenCloexec;
using posix::RetryOnEintr;
using posix::UniqueFd;

OpenFile OpenFile::Open(const char* path) {
  if (path == nullptr) return OpenFile();
  UniqueFd fd = OpenCloexec(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  struct stat status;
  if (!fd || fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return OpenFile();
  return OpenFile(fd.Release());
}

bool OpenFile::Identity(FileIdentity* identity) const {
  struct stat status;
  if (!handle_.is_open() || fstat(Fd(handle_), &status) != 0) return false;
  identity->device = status.st_dev;
  identity->inode = status.st_ino;
  identity->size = status.st_size;
  identity->modified_ns = status.st_mtim.tv_sec * int64_t{1'000'000'000} + status.st_mtim.tv_nsec;
  identity->changed_ns = status.st_ctim.tv_sec * int64_t{1'000'000'000} + status.st_ctim.tv_nsec;
  return true;
}

UniqueStream OpenFile::Stream() const {
  if (!handle_.is_open()) return nullptr;
  UniqueFd copy(RetryOnEintr([&] { return fcntl(Fd(handle_), F_DUPFD_CLOEXEC, 3); }));
  // The duplicate shares the file position with every other stream of this file; each reader
  // seeks where it reads, and starting at the beginning is what fresh streams promise.
  if (!copy || lseek(copy.get(), 0, SEEK_SET) != 0) return nullptr;
  UniqueStream stream(fdopen(copy.get(), "rb"));
  if (stream) copy.Release();
  return stream;
}

}  // namespace platform
