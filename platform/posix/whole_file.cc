#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string Reason(const char* what, const std::string& path, int error_number) {
  return std::string(what) + " " + path + ": " + std::strerror(error_number);
}

// Owns a descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  /// Closes now, so that a failing close can be reported.
  int Close() {
    int status = close(fd_);
    fd_ = -1;
    return status;
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The file a symbolic link points to is the one to replace, not the link.
std::string ResolvedTarget(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// A new file beside `target`, made with the usual permissions (the umask applies); a file
// that is replaced passes its own permission bits on, executable bits included.
int CreateTemporaryBeside(const std::string& target, std::string* temporary) {
  struct stat status;
  bool replacing = stat(target.c_str(), &status) == 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    int fd = OpenRetrying(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    // The owner and group first: changing them clears the set-user-ID and set-group-ID bits,
    // which the mode then puts back.
    if (fd >= 0 && replacing &&
        (fchown(fd, status.st_uid, status.st_gid) != 0 ||
         fchmod(fd, status.st_mode & 07777) != 0)) {
      int saved_errno = errno;
      close(fd);
      unlink(temporary->c_str());
      errno = saved_errno;
      return -1;
    }
    return fd;
  }
  return -1;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  Descriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
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
    ssize_t got = read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
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
  Descriptor file(CreateTemporaryBeside(target, &temporary));
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
