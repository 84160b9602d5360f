#include "platform/open_file.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <utility>

#include "platform/win32/handle.h"

namespace platform {

using win32::DescriptorHandle;
using win32::UniqueHandle;

namespace {

// FILETIME-style counts of 100 ns to nanoseconds.
int64_t TicksToNs(LARGE_INTEGER ticks) { return ticks.QuadPart * 100; }

// The volume and the file's number on it. FILE_ID_INFO holds the 128-bit IDs of ReFS; where
// the file system cannot give it, the 64-bit index of the older query stands in.
bool QueryFileId(HANDLE file, uint64_t* volume, uint64_t* id) {
  FILE_ID_INFO id_info;
  if (GetFileInformationByHandleEx(file, FileIdInfo, &id_info, sizeof id_info)) {
    uint64_t halves[2];
    std::memcpy(halves, id_info.FileId.Identifier, sizeof halves);
    *volume = id_info.VolumeSerialNumber;
    *id = halves[0] ^ halves[1];
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  *volume = info.dwVolumeSerialNumber;
  *id = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

OpenFile OpenFile::Open(const char* path) {
  if (path == nullptr) return OpenFile();
  // Read and execute access, and no FILE_SHARE_WRITE: while the harness holds the engine, no
  // one can change the file that was checked (Windows' own rule for a program that runs).
  UniqueHandle file =
      win32::OpenPath(path, GENERIC_READ | GENERIC_EXECUTE, OPEN_EXISTING, 0, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (!file || !win32::IsRegularFile(file.get())) return OpenFile();
  return OpenFile(win32::ToDescriptor(std::move(file), _O_RDONLY | _O_BINARY));
}

bool OpenFile::Identity(FileIdentity* identity) const {
  HANDLE file = DescriptorHandle(handle_);
  FILE_BASIC_INFO times;
  LARGE_INTEGER size;
  if (!handle_.is_open() || !QueryFileId(file, &identity->device, &identity->inode) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) || !GetFileSizeEx(file, &size)) {
    return false;
  }
  identity->size = size.QuadPart;
  identity->modified_ns = TicksToNs(times.LastWriteTime);
  identity->changed_ns = TicksToNs(times.ChangeTime);
  return true;
}

UniqueStream OpenFile::Stream() const {
  if (!handle_.is_open()) return nullptr;
  HANDLE copy = nullptr;
  HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, DescriptorHandle(handle_), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  UniqueHandle owned(copy);
  // The duplicate shares the file position with every other stream of this file; each reader
  // seeks where it reads, and starting at the beginning is what fresh streams promise.
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(owned.get(), start, nullptr, FILE_BEGIN)) return nullptr;
  return UniqueStream(win32::ToStream(std::move(owned), _O_RDONLY | _O_BINARY, "rb"));
}

}  // namespace platform
