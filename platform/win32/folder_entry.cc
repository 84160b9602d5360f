#include "platform/folder_entry.h"

#include "platform/win32/handle.h"

namespace platform {

// Windows' own file names already match without regard to case; the path opens as it is.
std::string ResolveEntryIgnoringCase(const std::string& path) { return path; }

bool NothingAt(const std::string& path) {
  if (GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace platform
