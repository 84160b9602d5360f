#include "support/text.h"

#include <fstream>
#include <sstream>

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) { return Lines(ReadFile(path)); }

size_t CountOf(const std::string& text, const std::string& needle) {
  if (needle.empty()) return 0;
  size_t count = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + needle.size())) {
    ++count;
  }
  return count;
}
