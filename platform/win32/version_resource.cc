// Writing the version resource of a Windows executable with the system's resource updater.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/version_info.h"
#include "platform/whole_file.h"
#include "platform/win32/certificate_table.h"
#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

namespace {

// A fresh file in the temporary folder, deleted when its owner goes away. The resource updater
// works on a named file only, so the image passes through one.
class TemporaryPath {
 public:
  TemporaryPath() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length != 0 && length <= MAX_PATH && GetTempFileNameW(folder, L"vxr", 0, name) != 0) path_ = name;
  }
  ~TemporaryPath() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryPath(const TemporaryPath&) = delete;
  TemporaryPath& operator=(const TemporaryPath&) = delete;

  const std::wstring& wide() const { return path_; }
  std::string utf8() const { return platform::win32::Narrow(path_); }

 private:
  std::wstring path_;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

// The languages of the version resources the file at `path` has now; false when the system
// does not load it as a Windows executable.
bool VersionLanguages(const std::wstring& path, std::vector<WORD>* languages) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return false;
  EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16) /* RT_VERSION */, MAKEINTRESOURCEW(VS_VERSION_INFO), AddLanguage,
                         reinterpret_cast<LONG_PTR>(languages));
  FreeLibrary(module);
  return true;
}

// Replaces every version resource of the file at `path` by one holding `block`, in the
// language of the first one there was (neutral when there was none), so that the system's
// reader finds this one whatever language it asks for first.
bool ReplaceVersionResource(const std::wstring& path, std::span<const uint8_t> block, platform::Error* error) {
  std::vector<WORD> languages;
  if (!VersionLanguages(path, &languages)) {
    *error = platform::Refusal(platform::ErrorKind::kInvalid, "not a Windows executable");
    return false;
  }
  HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
  if (update == nullptr) {
    *error = platform::Win32Failure("cannot update its resources", GetLastError());
    return false;
  }
  const LPWSTR type = MAKEINTRESOURCEW(16), name = MAKEINTRESOURCEW(VS_VERSION_INFO);
  bool updated = true;
  for (WORD language : languages) updated = updated && UpdateResourceW(update, type, name, language, nullptr, 0);
  const WORD language = languages.empty() ? MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) : languages.front();
  updated = updated && UpdateResourceW(update, type, name, language, const_cast<uint8_t*>(block.data()),
                                       static_cast<DWORD>(block.size()));
  const DWORD update_error = GetLastError();
  if (!EndUpdateResourceW(update, updated ? FALSE : TRUE) || !updated) {
    *error = platform::Win32Failure("cannot write its version resource", updated ? GetLastError() : update_error);
    return false;
  }
  return true;
}

}  // namespace

// A code signature would no longer match, and the updater would leave its table behind the
// file's new end: the table goes first.
bool EmbedVersionInfo(std::span<const uint8_t> block, std::string* image, platform::Error* error) {
  std::string unsigned_image = *image;
  platform::win32::RemoveCertificateTable(&unsigned_image);
  TemporaryPath temporary;
  if (temporary.wide().empty()) {
    *error = platform::Win32Failure("cannot make a temporary file", GetLastError());
    return false;
  }
  platform::win32::UniqueHandle file = platform::win32::OpenPath(temporary.utf8(), GENERIC_WRITE, TRUNCATE_EXISTING);
  if (!file || !platform::win32::WriteAll(file.get(), unsigned_image)) {
    *error = platform::Win32Failure("cannot write a temporary file", GetLastError());
    return false;
  }
  file.Reset();
  if (!ReplaceVersionResource(temporary.wide(), block, error)) return false;
  platform::Result<std::string> updated = ReadWholeFile(temporary.utf8());
  if (!updated) {
    *error = std::move(updated).error();
    return false;
  }
  *image = std::move(*updated);
  return true;
}
