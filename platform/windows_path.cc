#include "platform/windows_path.h"

#include <vector>

#include "platform/ascii.h"
#include "platform/path_segments.h"

namespace platform::windows_path {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool IsUnc(std::string_view path) { return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]); }

// The root of a full path, written with backslashes: "C:\" or "\\server\share\". The rest of
// the path is left in `rest`.
std::string SplitRoot(std::string_view path, std::string_view* rest) {
  if (!IsUnc(path)) {
    *rest = path.substr(3);
    return std::string(path.substr(0, 2)) + "\\";
  }
  std::string root = "\\\\";
  std::string_view tail = path.substr(2);
  for (int part = 0; part < 2 && !tail.empty(); ++part) {
    size_t end = 0;
    while (end < tail.size() && !IsSeparator(tail[end])) ++end;
    root.append(tail.substr(0, end));
    root += '\\';
    tail = tail.substr(end == tail.size() ? end : end + 1);
  }
  *rest = tail;
  return root;
}

bool SameDrive(std::string_view a, std::string_view b) {
  return HasDrive(a) && HasDrive(b) && AsciiUpper(a[0]) == AsciiUpper(b[0]);
}

// `path` made full against `base`: "\x" is on base's root, "C:x" joins C:'s current folder
// (base, when base is on C:, else C:'s root), and "x" joins base.
std::string Join(std::string_view path, std::string_view base) {
  if (IsFull(path)) return std::string(path);
  if (RelativeDrive(path) != 0) {
    if (!SameDrive(path, base)) return std::string(path.substr(0, 2)) + "\\" + std::string(path.substr(2));
    path = path.substr(2);
  }
  std::string_view base_rest;
  std::string base_root = SplitRoot(base, &base_rest);
  if (!path.empty() && IsSeparator(path[0])) return base_root + std::string(path.substr(1));
  return std::string(base) + "\\" + std::string(path);
}

}  // namespace

bool IsFull(std::string_view path) {
  return IsUnc(path) || (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2]));
}

char RelativeDrive(std::string_view path) { return HasDrive(path) && !IsFull(path) ? path[0] : 0; }

std::string LexicalFullPath(std::string_view path, std::string_view base) {
  std::string joined = Join(path, base);
  std::string_view rest;
  std::string result = SplitRoot(joined, &rest);
  const size_t root_size = result.size();
  const std::vector<std::string_view> parts = FoldedPathNames(rest, IsSeparator);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '\\';
    result.append(parts[i]);
  }
  if (result.size() > root_size && !path.empty() && IsSeparator(path.back())) result += '\\';
  return result;
}

}  // namespace platform::windows_path
