// Absolute paths made by text alone, without asking the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// `path` joined to `base` when it is relative (base must be absolute), with repeated "/"
/// collapsed and "." and ".." folded ("/.." stays "/"); a final "/" is kept. Links are not
/// followed and nothing needs to exist. An empty path gives `base` folded.
std::string LexicalAbsolutePath(std::string_view path, std::string_view base);

/// The process's current directory; nullopt, with the system's error number in `*error_number`,
/// when it cannot be read (for example it was removed).
std::optional<std::string> CurrentDirectory(int* error_number);

/// The same against the process's current directory, which is asked only for a relative
/// path. Nullopt when the current directory cannot be read (for example it was removed).
std::optional<std::string> AbsolutePath(std::string_view path);

/// `path` with every separator written as the system writes it: "\" for "/" on Windows, which
/// takes both; unchanged on POSIX, where "\" is a character of a name.
std::string WithSystemSeparators(std::string_view path);
