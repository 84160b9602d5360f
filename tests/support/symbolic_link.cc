#include "support/symbolic_link.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link, bool directory,
                      std::string* why) {
#ifdef _WIN32
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  if (!CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), flags)) {
    *why = "CreateSymbolicLinkW failed with error " + std::to_string(GetLastError()) +
           " (links need developer mode or the privilege to make them)";
    return false;
  }
  const DWORD attributes = GetFileAttributesW(link.wstring().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *why = "CreateSymbolicLinkW reported success but made no link (as Wine's does)";
    return false;
  }
#else
  (void)why;
  if (directory) {
    std::filesystem::create_directory_symlink(target, link);
  } else {
    std::filesystem::create_symlink(target, link);
  }
#endif
  return true;
}
