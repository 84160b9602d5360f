// Windows paths as text: drive letters, UNC shares and both separators. Pure string logic, kept
// apart from the system so that every build tests what the Windows build does with a path.
#pragma once

#include <string>
#include <string_view>

namespace platform::windows_path {

/// True for a full path: "C:\..." (or "C:/...") and "\\server\share\...".
bool IsFull(std::string_view path);

/// The drive letter of a drive-relative path ("C:ptn", "C:"), else 0.
char RelativeDrive(std::string_view path);

/// `path` made full against `base`, a full path: the current folder of the drive `path` names
/// ("C:ptn"), else the process's current folder. Repeated separators collapse to one "\",
/// "." and ".." fold ("C:\.." stays "C:\"), a final separator is kept; nothing needs to
/// exist. A drive-relative path on another drive than `base` is joined to its drive's root,
/// as in a process that has no current folder on that drive. An empty path gives `base`.
std::string LexicalFullPath(std::string_view path, std::string_view base);

}  // namespace platform::windows_path
