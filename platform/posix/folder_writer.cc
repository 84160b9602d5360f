#include "platform/folder_writer.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/output_target.h"
#include "platform/posix/unique_fd.h"

namespace platform {

using posix::Fd;
using posix::OpenCloexec;
using posix::RetryOnEintr;
using posix::UniqueFd;

Result<FolderWriter> FolderWriter::Open(const std::string& path) {
  const std::string folder = path.empty() ? "." : path;
  std::error_code code;
  std::filesystem::create_directories(folder, code);  // mode 0777 less the umask
  if (code) {
    return ErrorFromErrno(code.value(), folder + ": " + code.message());
  }
  UniqueFd fd = OpenCloexec(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (!fd) {
    return ErrnoFailure(folder, errno);
  }
  return FolderWriter(fd.Release());
}

bool FolderWriter::TryLock() {
  return handle_.is_open() && RetryOnEintr([&] { return flock(Fd(handle_), LOCK_EX | LOCK_NB); }) == 0;
}

bool FolderWriter::ReplaceFile(std::string_view name, std::string_view bytes, Error* error) {
  const std::string target(name);
  // A random name, made with O_EXCL: nothing planted there in advance is written through or
  // stops the write.
  const int folder = Fd(handle_);
  std::string temporary;
  UniqueFd file = posix::CreateTemporaryIn(folder, "." + target, 0666, &temporary);
  if (!file) {
    *error = ErrnoFailure("cannot create " + temporary, errno);
    return false;
  }
  // No fsync: the rename alone shows readers the old file or the whole new one, and a report
  // is not worth a disk flush on every engine run.
  bool done = posix::WriteAll(file.get(), bytes);
  done = file.Close() == 0 && done;
  done = done && renameat(folder, temporary.c_str(), folder, target.c_str()) == 0;
  if (done) return true;
  *error = ErrnoFailure("cannot write " + target, errno);
  unlinkat(folder, temporary.c_str(), 0);
  return false;
}

}  // namespace platform
