#include "platform/win32/message_spool.h"

#include <windows.h>

#include <utility>

namespace platform::win32 {
namespace {

// A file of this process alone in the temporary folder, deleted by the system when its handle
// closes, also when the process dies.
UniqueHandle TemporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tkv", 0, name) == 0) return UniqueHandle();
  UniqueHandle file(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) DeleteFileW(name);
  return file;
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

MessageSpool::MessageSpool() : file_(TemporaryFile()) {}

void MessageSpool::Push(std::string_view message) {
  // Once a message waits in memory, every later one does too, so the order holds.
  if (file_ && in_memory_.empty()) {
    OVERLAPPED at = At(write_at_);
    DWORD written = 0;
    if (WriteFile(file_.get(), message.data(), static_cast<DWORD>(message.size()), &written, &at) &&
        written == message.size()) {
      write_at_ += written;
      in_file_.push_back(static_cast<uint32_t>(message.size()));
      return;
    }
  }
  in_memory_.emplace_back(message);
}

bool MessageSpool::Pop(std::string* message) {
  if (!in_file_.empty()) {
    std::string read(in_file_.front(), '\0');
    OVERLAPPED at = At(read_at_);
    DWORD got = 0;
    const bool whole =
        read.empty() ||
        (ReadFile(file_.get(), read.data(), static_cast<DWORD>(read.size()), &got, &at) && got == read.size());
    read_at_ += in_file_.front();
    in_file_.pop_front();
    // A file that no longer gives back what was written loses that message alone.
    if (!whole) return Pop(message);
    *message = std::move(read);
    // Empty again: the next messages start the file over, so it is never larger than the
    // longest backlog.
    if (in_file_.empty()) read_at_ = write_at_ = 0;
    return true;
  }
  if (in_memory_.empty()) return false;
  *message = std::move(in_memory_.front());
  in_memory_.pop_front();
  return true;
}

uint32_t MessageSpool::front_size() const {
  return in_file_.empty() ? static_cast<uint32_t>(in_memory_.front().size()) : in_file_.front();
}

}  // namespace platform::win32
