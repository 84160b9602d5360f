// The SHA-256 digest of a file, to name exactly which engine a run record is about.
#pragma once

#include <string>

namespace platform {
class OpenFile;
}

/// The SHA-256 of the open file `file` in lower-case hex, read from its start; false when it
/// is not open or cannot be read to its end.
bool FileSha256Hex(const platform::OpenFile& file, std::string* hex);
