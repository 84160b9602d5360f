// C streams for binary reading and for writing, and the file size as the file system reports it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/error.h"

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using UniqueStream = std::unique_ptr<std::FILE, StreamCloser>;

/// The size of the file at `path` from a status query (no open, no seek); false when the
/// file system cannot tell it.
bool QueryFileSize(const char* path, int64_t* size);

/// Creates the file at `path` for writing, so that no child process inherits it. A file that is
/// there is replaced by a new file of the caller's before anything is written, never written in
/// place; a symbolic link at `path`, another user's link in a folder on the way, or a target
/// that is no regular file (a FIFO, a device, a folder) is refused, never written through or
/// waited on. Fails, its text naming `path` and the reason, when it cannot be made so.
platform::Result<UniqueStream> CreateWriteStream(const char* path);

/// Cuts the file of `stream` back to `length` bytes after flushing it; false when it cannot.
bool TruncateStream(std::FILE* stream, int64_t length);

/// Opens a regular file for binary reading, inherited by no child. Null when it cannot be opened,
/// and for folders, devices and FIFOs, which hold no file content to read.
UniqueStream OpenBinaryStream(const char* path);
