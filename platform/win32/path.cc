#include "platform/path.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/handle.h"
#include "platform/windows_path.h"

namespace {

// What GetFullPathNameW makes of `query`: the current folder of the drive it names ("C:"), or
// of the process (".").
std::optional<std::string> SystemFullPath(const std::wstring& query) {
  const DWORD size = GetFullPathNameW(query.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(query.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return std::nullopt;
  full.resize(length);
  return platform::win32::Narrow(full);
}

}  // namespace

std::string LexicalAbsolutePath(std::string_view path, std::string_view base) {
  return platform::windows_path::LexicalFullPath(path, base);
}

std::optional<std::string> CurrentDirectory(int* error_number) {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring current(size, L'\0');
  const DWORD length = size == 0 ? 0 : GetCurrentDirectoryW(size, current.data());
  if (length == 0 || length >= size) {
    *error_number = static_cast<int>(GetLastError());
    return std::nullopt;
  }
  current.resize(length);
  return platform::win32::Narrow(current);
}

// A drive-relative path ("C:ptn") starts from that drive's own current folder, which the
// system keeps per drive (cmd passes them on as "=C:" variables); GetFullPathNameW knows it.
std::optional<std::string> AbsolutePath(std::string_view path) {
  namespace windows_path = platform::windows_path;
  if (windows_path::IsFull(path)) return windows_path::LexicalFullPath(path, "");
  const char drive = windows_path::RelativeDrive(path);
  std::optional<std::string> base = SystemFullPath(drive != 0 ? std::wstring{static_cast<wchar_t>(drive), L':'} : L".");
  if (!base) return std::nullopt;
  return windows_path::LexicalFullPath(path, *base);
}

std::string WithSystemSeparators(std::string_view path) {
  std::string written(path);
  std::replace(written.begin(), written.end(), '/', '\\');
  return written;
}
