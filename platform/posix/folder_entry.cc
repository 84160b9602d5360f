#include "platform/folder_entry.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/ascii.h"

namespace platform {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string ResolveEntryIgnoringCase(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) == 0) return path;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string_view name =
      slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return path;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return path;
  std::string match;
  int matches = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (!AsciiEqualFold(entry->d_name, name)) continue;
    match = entry->d_name;
    ++matches;
  }
  if (matches != 1) return path;
  return slash == std::string::npos ? match : path.substr(0, slash + 1) + match;
}

bool NothingAt(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

}  // namespace platform
