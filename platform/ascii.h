// ASCII-only case handling. Option names, profile keys, engine-folder file names and the
// other case-insensitive texts of the system fold A-Z and a-z only, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/// True when `a` and `b` are equal after folding ASCII letters.
constexpr bool AsciiEqualFold(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

inline std::string AsciiUpperCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

}  // namespace platform
