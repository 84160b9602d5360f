// File names in the engine and pattern folders, which the engine's own platform matches
// without regard to case: "QLVAmain.ptn" and "QLVAMain.ptn" name one file there.
#pragma once

#include <string>

namespace platform {

/// The path to open for `path`: `path` itself when it exists (or its folder cannot be listed),
/// else the folder's one entry whose name equals the last component of `path` after folding
/// ASCII letters. With no such entry, or two or more, the exact `path` is returned, so the open
/// fails as it would have. Only the last component is matched this way; the folder must exist
/// under its exact name.
std::string ResolveEntryIgnoringCase(const std::string& path);

/// True when the system answers that nothing is at `path` (no such file or folder, or a
/// folder on its way is missing). Any other failure, such as no access, is no such answer.
bool NothingAt(const std::string& path);

}  // namespace platform
