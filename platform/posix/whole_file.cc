#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/unique_fd.h"

using platform::posix::OpenCloexec;
using platform::posix::RetryOnEintr;
using platform::posix::UniqueFd;
using platform::posix::WriteAll;

namespace {

std::string Reason(const char* what, const std::string& path, int error_number) {
  return std::string(what) + " " + path + ": " + std::strerror(error_number);
}

// The file a symbolic link points to is the one to replace, not the link.
std::string ResolvedTarget(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// A new file beside `target`, made with the usual permissions (the umask applies); a file
// that is replaced passes its own permission bits on, executable bits included.
UniqueFd CreateTemporaryBeside(const std::string& target, std::string* temporary) {
  struct stat status;
  bool replacing = stat(target.c_str(), &status) == 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    UniqueFd fd = OpenCloexec(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (!fd && errno == EEXIST) continue;
    // The owner and group first: changing them clears the set-user-ID and set-group-ID bits,
    // which the mode then puts back.
    if (fd && replacing &&
        (fchown(fd.get(), status.st_uid, status.st_gid) != 0 || fchmod(fd.get(), status.st_mode & 07777) != 0)) {
      int saved_errno = errno;
      fd.Reset();
      unlink(temporary->c_str());
      errno = saved_errno;
      return UniqueFd();
    }
    return fd;
  }
  return UniqueFd();
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  UniqueFd file = OpenCloexec(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  struct stat status;
  if (file.get() < 0 || fstat(file.get(), &status) != 0) {
    *error = Reason("cannot open", path, errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "cannot read " + path + ": not a regular file";
    return false;
  }
  bytes->clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = RetryOnEintr([&] { return read(file.get(), buffer, sizeof buffer); });
    if (got < 0) {
      *error = Reason("cannot read", path, errno);
      return false;
    }
    if (got == 0) return true;
    bytes->append(buffer, static_cast<size_t>(got));
  }
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  std::string target = ResolvedTarget(path);
  std::string temporary;
  UniqueFd file = CreateTemporaryBeside(target, &temporary);
  if (file.get() < 0) {
    *error = Reason("cannot create a temporary file beside", path, errno);
    return false;
  }
  bool written = WriteAll(file.get(), bytes) && fsync(file.get()) == 0;
  int saved_errno = errno;
  if (file.Close() != 0 && written) {
    written = false;
    saved_errno = errno;
  }
  if (written && rename(temporary.c_str(), target.c_str()) == 0) return true;
  if (written) saved_errno = errno;
  unlink(temporary.c_str());
  *error = Reason("cannot write", path, saved_errno);
  return false;
}

uint64_t HardLinkCount(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_nlink) : 0;
}
