#include "platform/path_segments.h"

namespace platform {

std::vector<std::string_view> FoldedPathNames(std::string_view rest, bool (*is_separator)(char)) {
  std::vector<std::string_view> names;
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    const std::string_view name = rest.substr(0, end);
    rest = rest.substr(end == rest.size() ? end : end + 1);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace platform
