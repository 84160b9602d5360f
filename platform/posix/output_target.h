// Where an output file of this program goes: its folder reached without following another
// user's link (path_walk.h), the name checked in that open folder, and a temporary file of a
// random name beside it, so that a file planted at the target or at a guessable temporary name
// is never written through or in place.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/posix/path_walk.h"
#include "platform/posix/unique_fd.h"
#include "platform/whole_file.h"

namespace platform::posix {

/// The checked place of an output file.
struct OutputTarget {
  OpenedFolder place;
  bool exists = false;
  struct stat info = {};  ///< of the existing file (a regular one)
};

/// Finds the place of `path` under `rule` (links in its folders are followed only when the
/// caller's or root's; the last one as `rule` says). False with the reason in `why` (naming the
/// component refused, or "it is ..." for the target itself) when a folder cannot be reached, a
/// link is refused or the target exists as anything but a regular file.
bool FindOutputTarget(const std::string& path, LinkRule rule, OutputTarget* target, std::string* why);

/// A new file of a random name beside `target` in its folder, made with `mode` (the umask
/// applies); its name in `name`. Invalid (errno set) when none can be made.
UniqueFd CreateTemporaryBeside(const OutputTarget& target, mode_t mode, std::string* name);

/// A new file in the open `folder` named `base` + ".tmp-" + twelve random hexadecimal digits,
/// made with `mode` (the umask applies) and never through anything already there; its name in
/// `name`. Invalid (errno set) when none can be made.
UniqueFd CreateTemporaryIn(int folder, const std::string& base, mode_t mode, std::string* name);

}  // namespace platform::posix
