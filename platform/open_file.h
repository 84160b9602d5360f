// A file held open, so that what was read and checked is what is used later: read through
// streams of that same open file, identified by what the file system says of it, and executed
// through the open file (ChildProcess::SpawnOpenFile), never by its path again.
#pragma once

#include <cstdint>

#include "platform/file_stream.h"
#include "platform/owned_handle.h"

namespace platform {

/// What tells one version of a file from another: the same device, inode, size and
/// modification and change times (nanoseconds). Any write or replacement changes one of them.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// A regular file opened read-only, inherited by no child. Move-only; closes when destroyed.
class OpenFile {
 public:
  OpenFile() = default;
  ~OpenFile() = default;
  OpenFile(OpenFile&& other) noexcept = default;
  OpenFile& operator=(OpenFile&& other) noexcept = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  /// Opens `path` without blocking and without becoming a controlling terminal. Not open when
  /// the path cannot be opened or names no regular file (a folder, device or FIFO).
  static OpenFile Open(const char* path);

  bool is_open() const { return handle_.is_open(); }
  /// The system's handle, for the platform layer's own use (spawning).
  const OwnedHandle& handle() const { return handle_; }

  /// The file's identity as it is now; false when it cannot be taken or the file is not open.
  bool Identity(FileIdentity* identity) const;

  /// A binary stream over this same open file (a duplicate handle that no child inherits),
  /// positioned at its start. Null when not open or out of handles.
  UniqueStream Stream() const;

 private:
  explicit OpenFile(OwnedHandle::Native native) : handle_(native) {}

  OwnedHandle handle_;
};

}  // namespace platform
