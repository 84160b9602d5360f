#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// New files get the usual permissions; a replaced file keeps its own, executable bits
// included.
mode_t ModeFor(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) == 0) return status.st_mode & 07777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  Descriptor file(fd);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) {
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
    ssize_t got = read(fd, buffer, sizeof buffer);
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
  std::string temporary = path + ".XXXXXX";
  Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) {
    *error = Reason("cannot create a temporary file beside", path, errno);
    return false;
  }
  bool written = fchmod(file.get(), ModeFor(path)) == 0 && WriteAll(file.get(), bytes) &&
                 fsync(file.get()) == 0;
  int saved_errno = errno;
  if (file.Close() != 0 && written) {
    written = false;
    saved_errno = errno;
  }
  if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (written) saved_errno = errno;
  unlink(temporary.c_str());
  *error = Reason("cannot write", path, saved_errno);
  return false;
}
