#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

constexpr int kMostLinks = 40;  // as many as the kernel follows in one path

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the link at `link` points: its text, taken from the link's own folder when relative.
bool LinkTarget(const std::string& link, std::string* target) {
  char text[PATH_MAX];
  ssize_t length = readlink(link.c_str(), text, sizeof text);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof text) {
    if (length >= 0) errno = ENAMETOOLONG;
    return false;
  }
  std::string read(text, static_cast<size_t>(length));
  *target = read.front() == '/' ? read : FolderOf(link) + "/" + read;
  return true;
}

// A new file beside `target`, made with the usual permissions (the umask applies); a file
// that is replaced passes its own permission bits on, executable bits included.
UniqueFd CreateTemporaryBeside(const std::string& target, std::string* temporary) {
  struct stat status;
  // Only a regular file passes its owner and mode on; the link check has been made already.
  bool replacing = lstat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    UniqueFd fd = OpenCloexec(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
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

bool ResolveOutputPath(const std::string& path, LinkRule rule, std::string* resolved, std::string* error) {
  std::string current = path;
  for (int hop = 0; hop <= kMostLinks; ++hop) {
    struct stat status;
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *resolved = current;
      return true;
    }
    if (rule == LinkRule::kRefuse) {
      *error = "refused to write " + path + ": it is a symbolic link (output files are never written through one)";
      return false;
    }
    if (status.st_uid != geteuid() && status.st_uid != 0) {
      *error = "refused to write " + path + ": " + (current == path ? "it" : current) + " is a symbolic link of user " +
               std::to_string(status.st_uid) + ", neither yours nor root's, so another user may have planted it";
      return false;
    }
    if (!LinkTarget(current, &current)) {
      *error = Reason("cannot read the symbolic link", current, errno);
      return false;
    }
  }
  *error = Reason("cannot write", path, ELOOP);
  return false;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, LinkRule rule, std::string* error) {
  std::string target;
  if (!ResolveOutputPath(path, rule, &target, error)) return false;
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
