// The owner of one handle of the system behind a portable class. What the value is, and how it
// is closed, is the system's folder's to say (platform/<os>/owned_handle.cc).
#pragma once

#include <cstdint>
#include <utility>

namespace platform {

/// One handle of the system, closed when destroyed. Move-only; kNone means none.
class OwnedHandle {
 public:
  /// Wide enough for every system's handle value.
  using Native = std::intptr_t;
  static constexpr Native kNone = -1;

  OwnedHandle() = default;
  explicit OwnedHandle(Native native) : native_(native) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : native_(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool is_open() const { return native_ != kNone; }
  /// The value, for the system's own calls in platform/<os>/; kNone when none is held.
  Native get() const { return native_; }
  /// Gives the value up without closing it.
  Native Release() { return std::exchange(native_, kNone); }
  /// Closes the handle held (if any) and holds `native` from now on.
  void Reset(Native native = kNone) {
    if (native_ != kNone) Close(native_);
    native_ = native;
  }

 private:
  static void Close(Native native);

  Native native_ = kNone;
};

}  // namespace platform
