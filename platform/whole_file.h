// Whole files for tools that rewrite them: read one, and replace one without ever leaving it
// half-written and without ever writing through a symbolic link that someone else planted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"

/// The bytes of the regular file at `path`; the failure's text names the path and the reason.
platform::Result<std::string> ReadWholeFile(const std::string& path);

/// What a replace does when the path given is a symbolic link.
enum class LinkRule {
  /// Refuse it: the harness's own output files are never written through a link. A file that is
  /// replaced becomes a new file of the caller's, with the permissions a new file gets.
  kRefuse,
  /// Replace the file it points to, when every link on the way belongs to the caller or to
  /// root (the kernel's protected-symlinks rule, applied in every folder); refuse any other. A
  /// file that is replaced keeps its owner, group and permission bits.
  kFollowTrusted,
};

/// Replaces the file that `path` stands for under `rule` with `bytes`: they are written to a
/// fresh temporary file of a random name in the same folder, flushed to disk and renamed over
/// that name (a link planted there after the check is replaced, never followed). Links in the
/// folders on the way are followed under the same rule as a link at the end, whatever `rule`
/// says of that one. A target that is no regular file (a folder, a FIFO, a device) is refused
/// before anything is opened. Under kFollowTrusted the new file keeps the owner, group and
/// permission bits of the file it replaces (when they cannot be kept, nothing is replaced).
/// Other hard links of the file keep the old content. On failure the file is untouched, the
/// temporary file is removed and the reason is in `error` (kDenied for a link or a target refused
/// under `rule`), its text naming the path.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, LinkRule rule, platform::Error* error);

/// The number of names (hard links) the file at `path` has; 0 when it cannot be told.
uint64_t HardLinkCount(const std::string& path);
