#include "platform/file_open.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <utility>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

using platform::win32::DescriptorHandle;

namespace {

constexpr DWORD kWholeFile = MAXDWORD;

// An exclusive lock held through another handle of the file. Windows refuses such a file's
// reads with error 33; Wine lets them through, so the lock is looked for at the open, where a
// shared lock of the whole file conflicts with it on both.
bool IsLockedElsewhere(HANDLE file) {
  OVERLAPPED at = {};
  if (!LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, kWholeFile, kWholeFile, &at)) {
    return GetLastError() == ERROR_LOCK_VIOLATION;
  }
  UnlockFileEx(file, 0, kWholeFile, kWholeFile, &at);
  return false;
}

}  // namespace

platform::Result<ReadOnlyFile> ReadOnlyFile::Open(const char* path) {
  if (path == nullptr) return platform::Refusal(platform::ErrorKind::kInvalid, "no path");
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder is refused with access denied, as it should be.
  platform::win32::UniqueHandle handle = platform::win32::OpenPath(path, GENERIC_READ, OPEN_EXISTING);
  if (!handle) return platform::ErrorFromWin32(GetLastError());
  if (GetFileType(handle.get()) == FILE_TYPE_DISK && IsLockedElsewhere(handle.get())) {
    return platform::ErrorFromWin32(ERROR_LOCK_VIOLATION);
  }
  ReadOnlyFile file(platform::win32::ToDescriptor(std::move(handle), _O_RDONLY | _O_BINARY));
  if (!file.is_open()) return platform::Refusal(platform::ErrorKind::kOther, "too many open files");
  return file;
}

int64_t ReadOnlyFile::Size() const {
  LARGE_INTEGER size;
  if (!handle_.is_open() || !GetFileSizeEx(DescriptorHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

bool ReadOnlyFile::IsRegular() const {
  return handle_.is_open() && platform::win32::IsRegularFile(DescriptorHandle(handle_));
}

int64_t ReadOnlyFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  size_t done = 0;
  while (done < out.size()) {
    OVERLAPPED at = {};
    uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD wanted = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(DescriptorHandle(handle_), out.data() + done, wanted, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool ReadOnlyFile::TryLockExclusive() {
  OVERLAPPED at = {};
  return handle_.is_open() && LockFileEx(DescriptorHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                                         0, kWholeFile, kWholeFile, &at);
}
