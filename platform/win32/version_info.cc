#include "platform/version_info.h"

#include <io.h>

#include "platform/win32/handle.h"

// A Windows executable carries its version block as a version resource; the system's own
// reader takes it out, and VersionInfo queries it as VerQueryValue does.
std::optional<VersionInfo> VersionInfo::ReadFromFile(const char* path) {
  if (path == nullptr) return std::nullopt;
  const std::wstring wide = platform::win32::Widen(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return std::nullopt;
  return VersionInfo(std::move(block));
}

// The system reads version resources by path only. The stream's file is held open with no
// writer admitted, so the path of that open file names the same contents.
std::optional<VersionInfo> VersionInfo::ReadFromStream(std::FILE* stream) {
  if (stream == nullptr) return std::nullopt;
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length + 1);
  }
  return ReadFromFile(platform::win32::Narrow(path).c_str());
}
