#include "platform/file_append.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"
#include "platform/win32/output_path.h"

namespace {

using platform::win32::UniqueHandle;

platform::Error Reason(const char* what, const std::string& path, DWORD error) {
  return platform::Win32Failure(std::string(what) + " " + path, error);
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

class Win32AppendableFile final : public AppendableFile {
 public:
  Win32AppendableFile(UniqueHandle file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}

  platform::Result<size_t> Read(std::span<std::byte> buffer) override {
    OVERLAPPED at = At(end_);
    DWORD got = 0;
    DWORD wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), 1u << 30));
    if (!ReadFile(file_.get(), buffer.data(), wanted, &got, &at) && GetLastError() != ERROR_HANDLE_EOF) {
      return Reason("cannot read", path_, GetLastError());
    }
    end_ += got;
    return static_cast<size_t>(got);
  }

  bool Append(std::string_view bytes, platform::Error* error) override {
    uint64_t position = end_;
    while (!bytes.empty()) {
      OVERLAPPED at = At(position);
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(file_.get(), bytes.data(), chunk, &written, &at)) return Undo(GetLastError(), error);
      if (written == 0) return Undo(ERROR_DISK_FULL, error);
      bytes.remove_prefix(written);
      position += written;
    }
    if (!FlushFileBuffers(file_.get())) return Undo(GetLastError(), error);
    end_ = position;
    return true;
  }

 private:
  // Whatever part of the bytes reached the file is taken away again.
  bool Undo(DWORD failure, platform::Error* error) {
    *error = Reason("cannot write", path_, failure);
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(end_);
    SetFileInformationByHandle(file_.get(), FileEndOfFileInfo, &end, sizeof end);
    return false;
  }

  UniqueHandle file_;
  std::string path_;
  uint64_t end_ = 0;  // everything before this offset has been read
};

}  // namespace

platform::Result<std::unique_ptr<AppendableFile>> AppendableFile::Open(const std::string& path) {
  UniqueHandle file = platform::win32::OpenPath(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  if (!file) return Reason("cannot open for writing", path, GetLastError());
  if (!platform::win32::IsRegularFile(file.get())) {
    return platform::Refusal(platform::ErrorKind::kInvalid, "cannot write " + path + ": not a regular file");
  }
  return std::unique_ptr<AppendableFile>(std::make_unique<Win32AppendableFile>(std::move(file), path));
}
