#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/output_target.h"
#include "platform/posix/unique_fd.h"

using platform::posix::OpenCloexec;
using platform::posix::RetryOnEintr;
using platform::posix::UniqueFd;
using platform::posix::WriteAll;

namespace {

platform::Error Reason(const char* what, const std::string& path, int error_number) {
  return platform::ErrnoFailure(std::string(what) + " " + path, error_number);
}

// The new file under `rule`: the caller's own, or with the owner, group and mode of the file it
// replaces.
UniqueFd CreateReplacement(const platform::posix::OutputTarget& target, LinkRule rule, std::string* temporary) {
  const bool keep = rule == LinkRule::kFollowTrusted && target.exists;
  UniqueFd fd = platform::posix::CreateTemporaryBeside(target, 0666, temporary);
  // The owner and group first: changing them clears the set-user-ID and set-group-ID bits,
  // which the mode then puts back.
  if (fd && keep &&
      (fchown(fd.get(), target.info.st_uid, target.info.st_gid) != 0 ||
       fchmod(fd.get(), target.info.st_mode & 07777) != 0)) {
    const int saved_errno = errno;
    unlinkat(target.place.folder.get(), temporary->c_str(), 0);
    errno = saved_errno;
    return UniqueFd();
  }
  return fd;
}

}  // namespace

platform::Result<std::string> ReadWholeFile(const std::string& path) {
  UniqueFd file = OpenCloexec(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  struct stat status;
  if (file.get() < 0 || fstat(file.get(), &status) != 0) return Reason("cannot open", path, errno);
  if (!S_ISREG(status.st_mode)) {
    return platform::Refusal(platform::ErrorKind::kInvalid, "cannot read " + path + ": not a regular file");
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t got = RetryOnEintr([&] { return read(file.get(), buffer, sizeof buffer); });
    if (got < 0) return Reason("cannot read", path, errno);
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, LinkRule rule, platform::Error* error) {
  platform::posix::OutputTarget target;
  std::string why;
  if (!platform::posix::FindOutputTarget(path, rule, &target, &why)) {
    *error = platform::Refusal(platform::ErrorKind::kDenied, "refused to write " + path + ": " + why);
    return false;
  }
  std::string temporary;
  UniqueFd file = CreateReplacement(target, rule, &temporary);
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
  const int folder = target.place.folder.get();
  if (written && renameat(folder, temporary.c_str(), folder, target.place.name.c_str()) == 0) return true;
  if (written) saved_errno = errno;
  unlinkat(folder, temporary.c_str(), 0);
  *error = Reason("cannot write", path, saved_errno);
  errno = saved_errno;
  return false;
}

uint64_t HardLinkCount(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_nlink) : 0;
}
