// Read-only file access that reports why an open failed in the classes the pattern reader needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/owned_handle.h"

/// Why an open failed; the values are the Windows error numbers these classes stand for.
enum class FileOpenError : int {
  kNone = 0,
  kNotFound = 2,        ///< no such file, or a path component is not a folder
  kLockViolation = 33,  ///< another open of the file holds an exclusive (write) lock on it
  kOpenFailed = 110,    ///< access denied, or the path names a folder
  kOther = -1,          ///< any other failure
};

/// A file opened for reading. Move-only; closes when destroyed.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile() = default;
  ReadOnlyFile(ReadOnlyFile&& other) noexcept = default;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept = default;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  /// Opens `path`, inherited by no child, without blocking (a FIFO opens at once and reads empty).
  /// On failure the result is closed and `*error` tells the class; on success it is kNone.
  static ReadOnlyFile Open(const char* path, FileOpenError* error);

  bool is_open() const { return handle_.is_open(); }
  /// The size in bytes, or -1 when it cannot be taken.
  int64_t Size() const;
  /// Whether the file is a regular file (not a device, FIFO or socket).
  bool IsRegular() const;
  /// Reads up to `out.size()` bytes from `offset`, continuing after partial reads; returns the
  /// count read (short only at the end of the file), or -1 on a read error.
  int64_t ReadAt(uint64_t offset, std::span<std::byte> out) const;
  /// Takes an exclusive whole-file lock through this open, without waiting: false when another
  /// open holds a lock. Other opens then see kLockViolation until this file is closed.
  bool TryLockExclusive();

 private:
  explicit ReadOnlyFile(platform::OwnedHandle::Native native) : handle_(native) {}

  platform::OwnedHandle handle_;
};
