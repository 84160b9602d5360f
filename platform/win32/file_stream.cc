#include "platform/file_stream.h"

#include <fcntl.h>

#include "platform/win32/handle.h"

using platform::win32::OpenPath;
using platform::win32::ToStream;
using platform::win32::UniqueHandle;

bool QueryFileSize(const char* path, int64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr ||
      !GetFileAttributesExW(platform::win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) {
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

UniqueStream CreateWriteStream(const char* path) {
  if (path == nullptr) return nullptr;
  // Handles from CreateFileW are not inherited: the stream stays out of every child.
  UniqueHandle file = OpenPath(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!file) return nullptr;
  return UniqueStream(ToStream(std::move(file), _O_RDWR | _O_BINARY, "w+b"));
}
