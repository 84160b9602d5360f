// Reaching a file through its folders one component at a time, each opened without following a
// link, so that nothing another user planted on the way (a link, a folder of theirs) is used
// unnoticed, and nothing can be swapped in between the check and the use: the caller gets the
// open folder and works relative to it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/posix/unique_fd.h"

namespace platform::posix {

/// What a folder on the way must be.
enum class FolderTrust {
  /// Any folder the caller can enter (a file made in it is the caller's own).
  kAny,
  /// The caller's or root's, and writable by no one else unless it is sticky (as /tmp is: others
  /// may add entries there but cannot replace one that is not theirs): a program run from there
  /// is one that only the caller or root could have put there.
  kCallerOrRoot,
};

/// The folder a path ends in, held open, and the last component's name in it.
struct OpenedFolder {
  UniqueFd folder;
  std::string name;  ///< never empty, never "." or ".."
};

/// Walks `path` (relative ones from the current folder) through its folders, each opened with
/// O_NOFOLLOW and held to `trust`. A symbolic link on the way is followed only when it is the
/// caller's or root's; `follow_last` says whether that holds for the last component too (else it
/// is returned as it is, link or not, existing or not). False with the reason in `why` ("<path>:
/// <reason>", naming the component that was refused), and errno set.
bool OpenFolderOf(const std::string& path, FolderTrust trust, bool follow_last, OpenedFolder* opened, std::string* why);

/// Whether the file of `info` is the caller's or root's and writable by no one else; `why` says
/// what it is otherwise ("<path> belongs to user N, ..." or "<path> can be written by ...").
bool CallerOrRootAlone(const struct stat& info, const std::string& path, std::string* why);

}  // namespace platform::posix
