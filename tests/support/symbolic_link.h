// Symbolic links that tests plant, made through the system's own call: the C++ library of the
// Windows build cannot make one.
#pragma once

#include <filesystem>
#include <string>

/// Makes `link` a symbolic link to `target` (a folder when `directory`). On Windows false, with
/// the reason in `*why`, when no link can be made here: Windows makes one only with developer
/// mode or the privilege to, and Wine's call reports success but makes none. On Linux a link
/// is always made (a failure throws).
bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link, bool directory,
                      std::string* why);
