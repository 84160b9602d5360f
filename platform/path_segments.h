// The folding of "." and ".." in a path's text, shared by the POSIX and Windows path rules: pure
// string logic, so that every build tests what each system does with it.
#pragma once

#include <string_view>
#include <vector>

namespace platform {

/// The names of `rest` (a path below its root) with empty names and "." left out and each ".."
/// taking away the name before it; a ".." at the root stays at the root. `is_separator` says
/// which characters part the names ('/' on POSIX; '\' and '/' on Windows).
std::vector<std::string_view> FoldedPathNames(std::string_view rest, bool (*is_separator)(char));

}  // namespace platform
