#include "platform/path.h"

#include <unistd.h>

#include <cerrno>

#include "platform/path_segments.h"

namespace {

bool IsSlash(char c) { return c == '/'; }

}  // namespace

std::string LexicalAbsolutePath(std::string_view path, std::string_view base) {
  const std::string joined = path.starts_with('/') ? std::string(path) : std::string(base) + "/" + std::string(path);
  std::string result;
  for (std::string_view name : platform::FoldedPathNames(joined, IsSlash)) {
    result += '/';
    result += name;
  }
  if (result.empty() || path.ends_with('/')) result += '/';
  return result;
}

std::optional<std::string> CurrentDirectory(int* error_number) {
  std::string buffer(256, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      *error_number = errno;
      return std::nullopt;
    }
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return buffer;
}

std::optional<std::string> AbsolutePath(std::string_view path) {
  if (path.starts_with('/')) return LexicalAbsolutePath(path, "/");
  int ignored = 0;
  std::optional<std::string> current = CurrentDirectory(&ignored);
  if (!current) return std::nullopt;
  return LexicalAbsolutePath(path, *current);
}

std::string WithSystemSeparators(std::string_view path) { return std::string(path); }
