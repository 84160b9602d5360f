// The SHA-256 digest of a file, to name exactly which engine a run record is about.
#pragma once

#include <string>

/// The SHA-256 of the regular file at `path` in lower-case hex; false when it cannot be
/// read to its end.
bool FileSha256Hex(const char* path, std::string* hex);
