#include "platform/posix/output_target.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/error_from_errno.h"

namespace platform::posix {
namespace {

// Twelve hexadecimal digits from the kernel's random source: nobody can make them in advance.
std::string RandomSuffix() {
  unsigned char bytes[6] = {};
  if (RetryOnEintr([&] { return getrandom(bytes, sizeof bytes, 0); }) != static_cast<ssize_t>(sizeof bytes)) {
    // Without the random source the name is at least unique here; O_EXCL refuses anything planted.
    static int counter = 0;
    return std::to_string(getpid()) + "-" + std::to_string(++counter);
  }
  char text[13];
  for (size_t i = 0; i < sizeof bytes; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  return text;
}

}  // namespace

bool FindOutputTarget(const std::string& path, LinkRule rule, OutputTarget* target, std::string* why) {
  if (!OpenFolderOf(path, FolderTrust::kAny, rule == LinkRule::kFollowTrusted, &target->place, why)) return false;
  const int folder = target->place.folder.get();
  if (fstatat(folder, target->place.name.c_str(), &target->info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return true;
    *why = ErrnoText(errno);
    return false;
  }
  target->exists = true;
  if (S_ISLNK(target->info.st_mode)) {
    *why = "it is a symbolic link (output files are never written through one)";
    return false;
  }
  if (!S_ISREG(target->info.st_mode)) {
    *why = "it is not a regular file";
    return false;
  }
  return true;
}

UniqueFd CreateTemporaryBeside(const OutputTarget& target, mode_t mode, std::string* name) {
  return CreateTemporaryIn(target.place.folder.get(), target.place.name, mode, name);
}

UniqueFd CreateTemporaryIn(int folder, const std::string& base, mode_t mode, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = base + ".tmp-" + RandomSuffix();
    UniqueFd fd(RetryOnEintr(
        [&] { return openat(folder, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode); }));
    if (fd || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

}  // namespace platform::posix
