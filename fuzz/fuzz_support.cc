#include "fuzz/fuzz_support.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

void FuzzCheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
  std::abort();
}

void InEachScanLocale(const std::function<void()>& check) {
  std::setlocale(LC_CTYPE, "C");
  check();
  if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) check();
}

std::vector<std::string> SplitAtNul(std::string_view text) {
  std::vector<std::string> elements;
  for (size_t start = 0;;) {
    size_t end = text.find('\0', start);
    elements.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return elements;
    start = end + 1;
  }
}
