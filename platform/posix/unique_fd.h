// The one owner of a file descriptor inside platform/posix/, and the one EINTR-retry helper.
// Every system call that can be interrupted goes through RetryOnEintr; every descriptor that
// outlives a statement is held by a UniqueFd.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "platform/owned_handle.h"

namespace platform::posix {

/// Calls `call` again for as long as it fails with EINTR; returns its last result.
template <typename Call>
auto RetryOnEintr(Call&& call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

/// Owns one descriptor and closes it when destroyed. Move-only; -1 means none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  /// Gives up ownership without closing.
  int Release() { return std::exchange(fd_, -1); }

  /// Closes the owned descriptor (if any) and takes `fd`. close() is never retried: on Linux
  /// the descriptor is gone even when close reports EINTR.
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  /// Closes now and returns close()'s result, for callers that must report a failed close
  /// (a write-back error shows only there).
  int Close() {
    int status = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return status;
  }

 private:
  int fd_ = -1;
};

/// The descriptor that a portable class's handle holds on Linux; -1 when none.
inline int Fd(const OwnedHandle& handle) { return static_cast<int>(handle.get()); }

/// open() with O_CLOEXEC, retried on EINTR.
inline UniqueFd OpenCloexec(const char* path, int flags, mode_t mode = 0) {
  return UniqueFd(RetryOnEintr([&] { return ::open(path, flags | O_CLOEXEC, mode); }));
}

/// Writes all of `bytes`, retrying short writes and EINTR. False (errno set) on failure.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = RetryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

/// Reads up to `size` bytes, retrying short reads and EINTR until `size` bytes or the end of
/// the file. Returns the count read, or -1 (errno set) on a read error.
inline ssize_t ReadFull(int fd, void* buffer, size_t size) {
  size_t total = 0;
  while (total < size) {
    ssize_t got = RetryOnEintr([&] { return ::read(fd, static_cast<char*>(buffer) + total, size - total); });
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(total);
}

}  // namespace platform::posix
