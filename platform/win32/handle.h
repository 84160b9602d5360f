// The one owner of a Windows handle inside platform/win32/, and the conversions every file
// service there shares: UTF-8 paths to the wide paths of the W functions, the system's text
// for an error number, and handles wrapped as C runtime descriptors and streams.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "platform/owned_handle.h"

namespace platform::win32 {

/// Owns one kernel handle and closes it when destroyed. Move-only; null and
/// INVALID_HANDLE_VALUE both mean none.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE Release() { return std::exchange(handle_, nullptr); }
  void Reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

/// `text` (UTF-8) as UTF-16 for the W functions; invalid bytes become U+FFFD.
std::wstring Widen(std::string_view text);
/// `text` (UTF-16) as UTF-8.
std::string Narrow(std::wstring_view text);

/// The folder part of a Windows path (up to its last "\\" or "/", without it); "." when
/// there is none.
std::string FolderOf(const std::string& path);

/// The system's message for `error` (a GetLastError value), without the final line end.
std::string ErrorText(DWORD error);

/// Opens `path` with CreateFileW: no handle inherited by children, every share mode granted.
UniqueHandle OpenPath(const std::string& path, DWORD access, DWORD disposition, DWORD flags = 0,
                      DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);

/// Creates a new file for writing named `base` + ".tmp-" + twelve random hexadecimal digits,
/// taking another name while one is taken: a file or link planted at a name made in advance is
/// neither written through nor in the way. `*name` gets the name; an invalid handle on failure.
UniqueHandle CreateTemporaryFile(const std::wstring& base, std::wstring* name);

/// Writes all of `bytes` at the handle's position, continuing after short writes; false (the
/// reason in GetLastError) on failure.
bool WriteAll(HANDLE file, std::string_view bytes);

/// Whether `handle` is a regular disk file (not a folder, device, pipe or console).
bool IsRegularFile(HANDLE handle);

/// A C runtime descriptor that owns `handle` from now on (on failure the handle is closed);
/// -1 on failure.
int ToDescriptor(UniqueHandle handle, int flags);
/// The handle a C runtime descriptor wraps; INVALID_HANDLE_VALUE when there is none.
HANDLE DescriptorHandle(int fd);
/// The C runtime descriptor that a portable class's handle holds on Windows; -1 when none.
inline int Descriptor(const OwnedHandle& handle) { return static_cast<int>(handle.get()); }
/// The HANDLE under a portable class's handle; INVALID_HANDLE_VALUE when there is none.
inline HANDLE DescriptorHandle(const OwnedHandle& handle) { return DescriptorHandle(Descriptor(handle)); }
/// A C stream that owns `handle` from now on, opened with `mode`; null on failure.
std::FILE* ToStream(UniqueHandle handle, int flags, const char* mode);

}  // namespace platform::win32
