// Absolute paths made by text alone, without asking the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// `path` joined to `base` when it is relative (base must be absolute), with repeated "/"
/// collapsed and "." and ".." folded ("/.." stays "/"); a final "/" is kept. Links are not
/// followed and nothing needs to exist. An empty path gives `base` folded.
std::string LexicalAbsolutePath(std::string_view path, std::string_view base);

/// The same against the process's current directory, which is asked only for a relative
/// path. Nullopt when the current directory cannot be read (for example it was removed).
std::optional<std::string> AbsolutePath(std::string_view path);
