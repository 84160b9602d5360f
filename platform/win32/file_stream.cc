#include "platform/file_stream.h"

#include <fcntl.h>
#include <io.h>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

using platform::win32::OpenPath;
using platform::win32::ToStream;
using platform::win32::UniqueHandle;

bool QueryFileSize(const char* path, int64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr || !GetFileAttributesExW(platform::win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  *size = static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
  return true;
}

UniqueStream OpenBinaryStream(const char* path) {
  if (path == nullptr) return nullptr;
  UniqueHandle file = OpenPath(path, GENERIC_READ, OPEN_EXISTING);
  if (!file || !platform::win32::IsRegularFile(file.get())) return nullptr;
  return UniqueStream(ToStream(std::move(file), _O_RDONLY | _O_BINARY, "rb"));
}

platform::Result<UniqueStream> CreateWriteStream(const char* path) {
  if (path == nullptr) return platform::Refusal(platform::ErrorKind::kInvalid, "no path");
  // A link is refused, never written through; the open itself does not follow one, so a link
  // planted after the check is refused too.
  std::wstring wide = platform::win32::Widen(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return platform::Refusal(
        platform::ErrorKind::kDenied,
        std::string(path) + ": it is a symbolic link (output files are never written through one)");
  }
  // Handles from CreateFileW are not inherited: the stream stays out of every child.
  UniqueHandle file = OpenPath(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!file) return platform::Win32Failure(path, GetLastError());
  UniqueStream stream(ToStream(std::move(file), _O_WRONLY | _O_BINARY, "wb"));
  if (!stream)
    return platform::Refusal(platform::ErrorKind::kOther, std::string(path) + ": cannot open a stream over it");
  return stream;
}

bool TruncateStream(std::FILE* stream, int64_t length) {
  return std::fflush(stream) == 0 && _chsize_s(_fileno(stream), length) == 0;
}
