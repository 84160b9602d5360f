#include "platform/file_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/unique_fd.h"

using platform::posix::Fd;
using platform::posix::OpenCloexec;
using platform::posix::RetryOnEintr;

namespace {

// A write lock held through another open of the file, taken with fcntl (OFD or process
// locks) or with flock.
bool IsWriteLockedElsewhere(int fd) {
  struct flock probe = {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) return true;
  if (RetryOnEintr([&] { return flock(fd, LOCK_SH | LOCK_NB); }) != 0) return errno == EWOULDBLOCK;
  flock(fd, LOCK_UN);
  return false;
}

}  // namespace

platform::Result<ReadOnlyFile> ReadOnlyFile::Open(const char* path) {
  if (path == nullptr) return platform::Refusal(platform::ErrorKind::kInvalid, "no path");
  ReadOnlyFile file(OpenCloexec(path, O_RDONLY | O_NOCTTY | O_NONBLOCK).Release());
  if (!file.is_open()) return platform::ErrorFromErrno(errno);
  struct stat status;
  if (fstat(Fd(file.handle_), &status) != 0) return platform::ErrorFromErrno(errno);
  // Linux opens a folder for reading; Windows refuses it, and callers expect the refusal.
  if (S_ISDIR(status.st_mode)) return platform::ErrorFromErrno(EISDIR);
  if (IsWriteLockedElsewhere(Fd(file.handle_))) {
    return platform::Error{platform::ErrorKind::kBusy, EWOULDBLOCK, "locked by another open of the file"};
  }
  return file;
}

int64_t ReadOnlyFile::Size() const {
  struct stat status;
  if (!handle_.is_open() || fstat(Fd(handle_), &status) != 0) return -1;
  return status.st_size;
}

bool ReadOnlyFile::IsRegular() const {
  struct stat status;
  return handle_.is_open() && fstat(Fd(handle_), &status) == 0 && S_ISREG(status.st_mode);
}

int64_t ReadOnlyFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = RetryOnEintr(
        [&] { return pread(Fd(handle_), out.data() + done, out.size() - done, static_cast<off_t>(offset + done)); });
    // A FIFO or device opened without blocking has nothing to give: that is its end.
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool ReadOnlyFile::TryLockExclusive() {
  return RetryOnEintr([&] { return flock(Fd(handle_), LOCK_EX | LOCK_NB); }) == 0;
}
