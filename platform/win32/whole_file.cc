#include "platform/whole_file.h"

#include <windows.h>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"
#include "platform/win32/output_path.h"

using platform::win32::OpenPath;
using platform::win32::UniqueHandle;

namespace {

platform::Error Reason(const char* what, const std::string& path, DWORD error) {
  return platform::Win32Failure(std::string(what) + " " + path, error);
}

bool IsSymbolicLink(const std::string& path) {
  DWORD attributes = GetFileAttributesW(platform::win32::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// `path` made absolute. Wine's ReplaceFileW fails a bare file name ("Directory name invalid");
// a full path serves both.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = platform::win32::Widen(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return wide;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace

platform::Result<std::string> ReadWholeFile(const std::string& path) {
  UniqueHandle file = OpenPath(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return Reason("cannot open", path, GetLastError());
  if (!platform::win32::IsRegularFile(file.get())) {
    return platform::Refusal(platform::ErrorKind::kInvalid, "cannot read " + path + ": not a regular file");
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return Reason("cannot read", path, GetLastError());
    if (got == 0) return bytes;
    bytes.append(buffer, got);
  }
}

// Creating a symbolic link on Windows takes an administrator or developer mode, so a link that
// is there was made by someone trusted with that: kFollowTrusted follows it to its final
// target (the system resolves the whole chain).
bool ResolveOutputPath(const std::string& path, LinkRule rule, std::string* resolved, platform::Error* error) {
  if (!IsSymbolicLink(path)) {
    *resolved = path;
    return true;
  }
  if (rule == LinkRule::kRefuse) {
    *error = platform::Refusal(platform::ErrorKind::kDenied, "refused to write " + path +
                                                                 ": it is a symbolic link (output files are never "
                                                                 "written through one)");
    return false;
  }
  UniqueHandle file = OpenPath(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!file) {
    *error = Reason("cannot read the symbolic link", path, GetLastError());
    return false;
  }
  wchar_t buffer[MAX_PATH * 4];
  DWORD length = GetFinalPathNameByHandleW(file.get(), buffer, MAX_PATH * 4, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= MAX_PATH * 4) {
    *error = Reason("cannot read the symbolic link", path, GetLastError());
    return false;
  }
  *resolved = platform::win32::Narrow(std::wstring_view(buffer, length));
  return true;
}

// ReplaceFileW keeps the replaced file's attributes, security and identity; a target that
// does not exist yet is simply moved into place.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, LinkRule rule, platform::Error* error) {
  std::string target;
  if (!ResolveOutputPath(path, rule, &target, error)) return false;
  const std::wstring wide_target = FullPath(target);
  std::wstring wide_temporary;
  UniqueHandle file = platform::win32::CreateTemporaryFile(wide_target, &wide_temporary);
  if (!file) {
    *error = Reason("cannot create a temporary file beside", path, GetLastError());
    return false;
  }
  bool written = platform::win32::WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
  DWORD failure = GetLastError();
  file.Reset();
  if (written) {
    bool exists = GetFileAttributesW(wide_target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists ? ReplaceFileW(wide_target.c_str(), wide_temporary.c_str(), nullptr, 0, nullptr, nullptr)
               : MoveFileExW(wide_temporary.c_str(), wide_target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    failure = GetLastError();
  }
  DeleteFileW(wide_temporary.c_str());
  *error = Reason("cannot write", path, failure);
  return false;
}

uint64_t HardLinkCount(const std::string& path) {
  UniqueHandle file = OpenPath(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return 0;
  return info.nNumberOfLinks;
}
