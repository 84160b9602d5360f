// Writing files into a folder the way a program that may run as root must: the folder is held
// open (its last path component never a symbolic link), every file is written to a temporary
// file beside the target and renamed over it, and nothing planted in the folder is followed.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/owned_handle.h"

namespace platform {

/// An open folder. Move-only; closes (and so unlocks) when destroyed.
class FolderWriter {
 public:
  FolderWriter() = default;
  ~FolderWriter() = default;
  FolderWriter(FolderWriter&& other) noexcept = default;
  FolderWriter& operator=(FolderWriter&& other) noexcept = default;
  FolderWriter(const FolderWriter&) = delete;
  FolderWriter& operator=(const FolderWriter&) = delete;

  /// Opens the folder at `path` (empty: the current folder), creating it (with the access the
  /// system gives a new folder) and its missing parents first. Fails when it cannot be made or
  /// opened or its last component is a symbolic link; the failure's text is "<path>: <reason>".
  static Result<FolderWriter> Open(const std::string& path);

  bool is_open() const { return handle_.is_open(); }

  /// Takes an exclusive lock on the folder without waiting; false when another open of it
  /// (in this or another process) holds the lock. The lock ends with this object.
  bool TryLock();

  /// Replaces the file `name` in the folder with `bytes`: written to a fresh temporary file
  /// (never through a link; of a random name on Linux), then renamed over `name`, so a reader
  /// sees the old file or the whole new one, and a symbolic link planted as `name` is replaced,
  /// not followed.
  /// False with the reason in `error`; the folder then holds no temporary file.
  bool ReplaceFile(std::string_view name, std::string_view bytes, Error* error);

 private:
  explicit FolderWriter(OwnedHandle::Native native) : handle_(native) {}

  OwnedHandle handle_;
};

}  // namespace platform
