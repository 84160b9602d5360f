// C streams for binary reading and for writing, and the file size as the file system reports it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using UniqueStream = std::unique_ptr<std::FILE, StreamCloser>;

/// The size of the file at `path` from a status query (no open, no seek); false when the
/// file system cannot tell it.
bool QueryFileSize(const char* path, int64_t* size);

/// Creates the file at `path`, or empties it, for writing, so that no child process inherits
/// it. A symbolic link at `path` is refused, never written through, and a
/// FIFO with no reader is refused instead of waited for. Null, with the reason in `error`, when
/// it cannot be opened so.
UniqueStream CreateWriteStream(const char* path, std::string* error);

/// Opens a regular file for binary reading, inherited by no child. Null when it cannot be opened,
/// and for folders, devices and FIFOs, which hold no file content to read.
UniqueStream OpenBinaryStream(const char* path);
