#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/profile.h"
#include "platform/win32/handle.h"

namespace {

// The whole of what GetPrivateProfileStringW gives for `key` (null: the names of the section's
// keys, each ended by a NUL), growing the buffer until nothing is cut; in UTF-8.
std::string ReadProfileString(const std::wstring& section, const wchar_t* key, const std::wstring& path) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), size, path.c_str());
    // A cut value fills the buffer to size - 1 (a cut list of names to size - 2).
    const DWORD full = key == nullptr ? size - 2 : size - 1;
    if (length < full || buffer.size() >= (1u << 24)) {
      return platform::win32::Narrow(std::wstring_view(buffer.data(), length));
    }
    buffer.resize(buffer.size() * 4);
  }
}

// Whether the section holds `key`: the system's reader gives an empty value and a missing key
// alike, and callers tell them apart.
bool SectionHasKey(const std::string& names, std::string_view key) {
  for (size_t at = 0; at < names.size();) {
    const size_t end = names.find('\0', at);
    const std::string_view name(names.data() + at, (end == std::string::npos ? names.size() : end) - at);
    if (platform::AsciiEqualFold(name, key)) return true;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return false;
}

}  // namespace

// The system's own profile reader, GetPrivateProfileStringW, for every wanted key. A relative
// path would be looked for in the Windows folder: it is made absolute first. A missing file
// gives an empty profile. The system reads a file without a byte-order mark in the ANSI code
// page (UTF-8 where the manifest's code page is active); values come back as UTF-8.
ProfileFile ProfileFile::Load(const char* path, std::span<const ProfileKey> wanted) {
  ProfileFile profile;
  if (path == nullptr) return profile;
  const std::wstring wide = platform::win32::Widen(path);
  std::wstring absolute(MAX_PATH, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(absolute.size()), absolute.data(), nullptr);
  if (length == 0 || length >= absolute.size()) return profile;
  absolute.resize(length);
  const DWORD attributes = GetFileAttributesW(absolute.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return profile;
  for (const ProfileKey& entry : wanted) {
    const std::wstring section = platform::win32::Widen(entry.section);
    const std::wstring key = platform::win32::Widen(entry.key);
    if (!SectionHasKey(ReadProfileString(section, nullptr, absolute), entry.key)) continue;
    profile.AddValue(entry.section, entry.key, ReadProfileString(section, key.c_str(), absolute));
  }
  return profile;
}
