#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/output_target.h"
#include "platform/posix/unique_fd.h"

using platform::posix::CreateTemporaryBeside;
using platform::posix::FindOutputTarget;
using platform::posix::OpenCloexec;
using platform::posix::OutputTarget;
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

platform::Result<UniqueStream> CreateWriteStream(const char* path) {
  if (path == nullptr) return platform::Refusal(platform::ErrorKind::kInvalid, "no path");
  OutputTarget target;
  std::string why;
  if (!FindOutputTarget(path, LinkRule::kRefuse, &target, &why)) {
    return platform::Refusal(platform::ErrorKind::kDenied, std::string(path) + ": " + why);
  }
  // A new file of ours takes the target's name before anything is written into it, so nothing
  // that another user planted there is ever written in place or waited on.
  std::string temporary;
  UniqueFd fd = CreateTemporaryBeside(target, 0666, &temporary);
  const int folder = target.place.folder.get();
  if (!fd || renameat(folder, temporary.c_str(), folder, target.place.name.c_str()) != 0) {
    platform::Error error = platform::ErrnoFailure(path, errno);
    if (fd) unlinkat(folder, temporary.c_str(), 0);
    return error;
  }
  UniqueStream stream(fdopen(fd.get(), "w"));
  if (!stream) return platform::ErrnoFailure(path, errno);
  fd.Release();  // the stream owns it now
  return stream;
}

bool TruncateStream(std::FILE* stream, int64_t length) {
  return std::fflush(stream) == 0 && ftruncate(fileno(stream), static_cast<off_t>(length)) == 0;
}
