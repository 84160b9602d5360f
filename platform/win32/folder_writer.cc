#include "platform/folder_writer.h"

#include <fcntl.h>
#include <io.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

// windows.h names ReplaceFileA as ReplaceFile; the member of that name is ours.
#undef ReplaceFile

namespace platform {

using win32::DescriptorHandle;
using win32::UniqueHandle;

namespace {

// The folder's own path, from the open handle, so that files land in the folder held open.
std::wstring FolderPath(HANDLE folder) {
  wchar_t buffer[MAX_PATH * 4];
  DWORD length = GetFinalPathNameByHandleW(folder, buffer, MAX_PATH * 4, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= MAX_PATH * 4) return {};
  return std::wstring(buffer, length);
}

}  // namespace

Result<FolderWriter> FolderWriter::Open(const std::string& path) {
  const std::string folder = path.empty() ? "." : path;
  std::error_code code;
  std::filesystem::create_directories(win32::Widen(folder), code);
  if (code) {
    return Refusal(ErrorKind::kOther, folder + ": " + code.message());
  }
  // The reparse point itself, not its target: a folder that is a link is refused below. The
  // handle asks for no data access, so it stands in no one's share mode.
  UniqueHandle handle = win32::OpenPath(folder, FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (!handle) {
    return Win32Failure(folder, GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Refusal(ErrorKind::kDenied, folder + ": not a folder (a link or a file)");
  }
  FolderWriter writer(win32::ToDescriptor(std::move(handle), _O_RDONLY));
  if (!writer.is_open()) return Refusal(ErrorKind::kOther, folder + ": too many open files");
  return writer;
}

// The lock is a second open of the folder that asks for delete access and shares everything
// but delete: a second such open, from any process, meets a sharing violation until this
// writer closes its handle.
bool FolderWriter::TryLock() {
  if (!handle_.is_open()) return false;
  std::wstring folder = FolderPath(DescriptorHandle(handle_));
  if (folder.empty()) return false;
  UniqueHandle lock(CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!lock) return false;
  // The descriptor takes the lock's handle in place of the plain one, so the lock ends with it.
  int locked = win32::ToDescriptor(std::move(lock), _O_RDONLY);
  if (locked < 0) return false;
  handle_.Reset(locked);
  return true;
}

bool FolderWriter::ReplaceFile(std::string_view name, std::string_view bytes, Error* error) {
  const std::string target(name);
  std::wstring folder = FolderPath(DescriptorHandle(handle_));
  if (folder.empty()) {
    *error = Win32Failure("cannot write " + target, GetLastError());
    return false;
  }
  std::wstring temporary;
  const std::wstring destination = folder + L"\\" + win32::Widen(target);
  UniqueHandle file = win32::CreateTemporaryFile(folder + L"\\." + win32::Widen(target), &temporary);
  if (!file) {
    *error = Win32Failure("cannot create " + win32::Narrow(temporary), GetLastError());
    return false;
  }
  // No flush: the rename alone shows readers the old file or the whole new one.
  bool done = win32::WriteAll(file.get(), bytes);
  file.Reset();
  done = done && MoveFileExW(temporary.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (done) return true;
  *error = Win32Failure("cannot write " + target, GetLastError());
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace platform
