// Whole files for tools that rewrite them: read one, and replace one without ever leaving it
// half-written and without ever writing through a symbolic link that someone else planted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Reads the regular file at `path` into `bytes`; false with the reason in `error`.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

/// What a replace does when the path given is a symbolic link.
enum class LinkRule {
  /// Refuse it: the harness's own output files are never written through a link.
  kRefuse,
  /// Replace the file it points to, when every link on the way belongs to the caller or to
  /// root (the kernel's protected-symlinks rule, applied in every folder); refuse any other.
  kFollowTrusted,
};

/// The file that `path` stands for under `rule`: `path` itself when it is no symbolic link (or
/// does not exist), else the target its trusted links lead to. False with the reason in
/// `error` when a link is refused or the links cannot be read.
bool ResolveOutputPath(const std::string& path, LinkRule rule, std::string* resolved, std::string* error);

/// Replaces the file that `path` stands for under `rule` with `bytes`: they are written to a
/// fresh temporary file in the same folder, flushed to disk and renamed over that name (a link
/// planted there after the check is replaced, never followed). The new file keeps the owner,
/// group and permission bits of a regular file it replaces (when the owner and group cannot be
/// kept, nothing is replaced). Other hard links of the file keep the old content. On failure
/// the file is untouched, the temporary file is removed and the reason is in `error`.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, LinkRule rule, std::string* error);

/// The number of names (hard links) the file at `path` has; 0 when it cannot be told.
uint64_t HardLinkCount(const std::string& path);
