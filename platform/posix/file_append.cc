#include "platform/file_append.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <utility>

#include "platform/posix/error_from_errno.h"
#include "platform/posix/output_target.h"
#include "platform/posix/unique_fd.h"
#include "platform/whole_file.h"

namespace {

using platform::posix::RetryOnEintr;
using platform::posix::UniqueFd;

platform::Error Reason(const char* what, const std::string& path, int error_number) {
  return platform::ErrnoFailure(std::string(what) + " " + path, error_number);
}

class PosixAppendableFile final : public AppendableFile {
 public:
  PosixAppendableFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  platform::Result<size_t> Read(std::span<std::byte> buffer) override {
    ssize_t got =
        RetryOnEintr([&] { return ::pread(fd_.get(), buffer.data(), buffer.size(), static_cast<off_t>(end_)); });
    if (got < 0) return Reason("cannot read", path_, errno);
    end_ += static_cast<uint64_t>(got);
    return static_cast<size_t>(got);
  }

  bool Append(std::string_view bytes, platform::Error* error) override {
    uint64_t at = end_;
    while (!bytes.empty()) {
      ssize_t written =
          RetryOnEintr([&] { return ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(at)); });
      if (written <= 0) return Undo(written < 0 ? errno : ENOSPC, error);
      bytes.remove_prefix(static_cast<size_t>(written));
      at += static_cast<uint64_t>(written);
    }
    if (::fsync(fd_.get()) != 0) return Undo(errno, error);
    end_ = at;
    return true;
  }

 private:
  // Whatever part of the bytes reached the file is taken away again.
  bool Undo(int error_number, platform::Error* error) {
    *error = Reason("cannot write", path_, error_number);
    RetryOnEintr([&] { return ::ftruncate(fd_.get(), static_cast<off_t>(end_)); });
    return false;
  }

  UniqueFd fd_;
  std::string path_;
  uint64_t end_ = 0;  // everything before this offset has been read
};

}  // namespace

platform::Result<std::unique_ptr<AppendableFile>> AppendableFile::Open(const std::string& path) {
  platform::posix::OutputTarget target;
  std::string why;
  if (!platform::posix::FindOutputTarget(path, LinkRule::kFollowTrusted, &target, &why)) {
    return platform::Refusal(platform::ErrorKind::kDenied, "refused to write " + path + ": " + why);
  }
  // A link put in the target's place after the check is not followed either.
  UniqueFd fd(RetryOnEintr([&] {
    return openat(target.place.folder.get(), target.place.name.c_str(),
                  O_RDWR | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  }));
  struct stat status;
  if (!fd || ::fstat(fd.get(), &status) != 0) return Reason("cannot open for writing", path, errno);
  if (!S_ISREG(status.st_mode)) {
    return platform::Refusal(platform::ErrorKind::kInvalid, "cannot write " + path + ": not a regular file");
  }
  return std::unique_ptr<AppendableFile>(std::make_unique<PosixAppendableFile>(std::move(fd), path));
}
