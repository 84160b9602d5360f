// Read-only file access that reports why an open failed in the classes callers tell apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/error.h"
#include "platform/owned_handle.h"

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
  /// Fails with kNotFound for no such file or a path component that is not a folder, kBusy
  /// while another open of the file holds an exclusive (write) lock on it, kDenied when access
  /// is denied or the path names a folder, kInvalid for no path, or the system's own failure.
  static platform::Result<ReadOnlyFile> Open(const char* path);

  bool is_open() const { return handle_.is_open(); }
  /// The size in bytes, or -1 when it cannot be taken.
  int64_t Size() const;
  /// Whether the file is a regular file (not a device, FIFO or socket).
  bool IsRegular() const;
  /// Reads up to `out.size()` bytes from `offset`, continuing after partial reads; returns the
  /// count read (short only at the end of the file), or -1 on a read error.
  int64_t ReadAt(uint64_t offset, std::span<std::byte> out) const;
  /// Takes an exclusive whole-file lock through this open, without waiting: false when another
  /// open holds a lock. Other opens then fail with kBusy until this file is closed.
  bool TryLockExclusive();

 private:
  explicit ReadOnlyFile(platform::OwnedHandle::Native native) : handle_(native) {}

  platform::OwnedHandle handle_;
};
