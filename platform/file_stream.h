// C streams for binary reading and for writing, and the file size as the file system reports it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using UniqueStream = std::unique_ptr<std::FILE, StreamCloser>;

/// The size of the file at `path` from a status query (no open, no seek); false when the
/// file system cannot tell it.
bool QueryFileSize(const char* path, int64_t* size);

/// Creates the file at `path`, or empties it, for writing and reading ("w+"), close-on-exec so
/// that no child process inherits it. Null when it cannot be opened.
UniqueStream CreateWriteStream(const char* path);

/// Opens a regular file for binary reading, close-on-exec. Null when it cannot be opened,
/// and for folders, devices and FIFOs, which hold no file content to read.
UniqueStream OpenBinaryStream(const char* path);
