#include "platform/win32/handle.h"

#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cwchar>

namespace platform::win32 {

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

// In the user's language, as UTF-8 like every other text the harness prints.
std::string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Narrow(std::wstring_view(buffer, length)) : "error " + std::to_string(error);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text;
}

UniqueHandle OpenPath(const std::string& path, DWORD access, DWORD disposition, DWORD flags, DWORD share) {
  return UniqueHandle(CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                  flags == 0 ? FILE_ATTRIBUTE_NORMAL : flags, nullptr));
}

UniqueHandle CreateTemporaryFile(const std::wstring& base, std::wstring* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6] = {};
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      SetLastError(ERROR_GEN_FAILURE);
      return UniqueHandle();
    }
    wchar_t suffix[13];
    for (size_t i = 0; i < sizeof random; ++i) std::swprintf(suffix + 2 * i, 3, L"%02x", random[i]);
    *name = base + L".tmp-" + suffix;
    // CREATE_NEW refuses whatever is already there, a planted link included.
    UniqueHandle file(
        CreateFileW(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) return file;
  }
  return UniqueHandle();
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool IsRegularFile(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int ToDescriptor(UniqueHandle handle, int flags) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), flags);
  if (fd >= 0) handle.Release();  // the descriptor owns it now
  return fd;
}

HANDLE DescriptorHandle(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

std::FILE* ToStream(UniqueHandle handle, int flags, const char* mode) {
  int fd = ToDescriptor(std::move(handle), flags);
  if (fd < 0) return nullptr;
  std::FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);
  return stream;
}

}  // namespace platform::win32
