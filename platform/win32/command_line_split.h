// A Windows command line split into its arguments by the system's own rules, as the C runtime
// of the program that reads it splits it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::win32 {

/// The arguments of `line` (UTF-16) in UTF-8 (an empty line: this program's own path, as the
/// system splits it). Null, with the system's error number in `*error`, when it cannot split it.
std::optional<std::vector<std::string>> SplitCommandLine(const std::wstring& line, DWORD* error);

}  // namespace platform::win32
