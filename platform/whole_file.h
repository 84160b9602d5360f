// Whole files for tools that rewrite them: read one, and replace one without ever leaving it
// half-written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Reads the regular file at `path` into `bytes`; false with the reason in `error`.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

/// Replaces the file at `path` (or the file a symbolic link there points to) with `bytes`:
/// they are written to a temporary file in the same folder, flushed to disk and renamed over
/// the file, which keeps the owner, group and permission bits of the file it replaces (when
/// the owner and group cannot be kept, nothing is replaced). Other hard links of the file keep
/// the old content. On failure the file is untouched, the temporary file is removed and the
/// reason is in `error`.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

/// The number of names (hard links) the file at `path` has; 0 when it cannot be told.
uint64_t HardLinkCount(const std::string& path);
