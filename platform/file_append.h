// A file that is read to its end and then extended in place: for tools that add a trailer to
// a file of any size without holding it in memory or making a copy of it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/error.h"

class AppendableFile {
 public:
  virtual ~AppendableFile() = default;

  /// Opens the regular file at `path` (or the file a symbolic link there points to, when every
  /// link on the way is the caller's or root's) for reading and writing. Fails, its text naming the path and the
  /// reason, when it cannot be opened so or is not a regular file. Being the same file, it keeps its owner, group,
  /// mode and every name.
  static platform::Result<std::unique_ptr<AppendableFile>> Open(const std::string& path);

  /// Reads the next bytes of the file into `buffer`: the count, 0 at the end.
  virtual platform::Result<size_t> Read(std::span<std::byte> buffer) = 0;

  /// Writes `bytes` after everything read so far and flushes the file to disk. On failure the
  /// file is cut back to the length it had, and the reason is in `error`.
  virtual bool Append(std::string_view bytes, platform::Error* error) = 0;
};
