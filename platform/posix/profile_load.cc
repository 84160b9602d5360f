#include "platform/profile.h"

// Linux has no profile reader of its own: the file is read with the same rules.
ProfileFile ProfileFile::Load(const char* path, std::span<const ProfileKey> wanted) { return ReadWanted(path, wanted); }
