// One failure of a system service, as the portable headers report it: the class of failure a
// caller acts on, the system's own number for it, and a text for a message. Result<T> carries
// a value or such a failure.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace platform {

/// The classes of failure that callers tell apart; every other failure is kOther.
enum class ErrorKind {
  kNone,
  kExists,    ///< the name is taken: another holds it
  kNotFound,  ///< nothing of that name, or no one serves it
  kInvalid,   ///< a name or value that the call cannot take
  kDenied,    ///< not the caller's alone, or not the caller's to use
  kTooLong,   ///< more than the call carries; nothing was done
  kNotOpen,   ///< the object is not open
  kCutShort,  ///< done in part only
  kBusy,      ///< in use by another right now; later it may succeed
  kDamaged,   ///< what was read is not what it must be; nothing of it was used
  kOther,     ///< the system's own failure: `code` and `text` say which
};

/// Made from a system's number by ErrorFromErrno (platform/posix/) or ErrorFromWin32
/// (platform/win32/), the one table of each system, or by a caller for a refusal of its own.
struct Error {
  ErrorKind kind = ErrorKind::kNone;
  int code = 0;      ///< the system's own number for the failure; 0 when it gave none
  std::string text;  ///< why, in words fit for a message after the object's name
};

/// A failure that the caller decided on, not the system: it has no system number.
inline Error Refusal(ErrorKind kind, std::string text) { return {kind, 0, std::move(text)}; }

/// A value, or the Error that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}     // NOLINT: a value converts as it is
  Result(Error error) : error_(std::move(error)) {  // NOLINT: so does a failure
    assert(error_.kind != ErrorKind::kNone && "a failure has a kind");
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  /// The value; only when ok().
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

  /// The failure; kind kNone when ok().
  const Error& error() const& { return error_; }
  Error&& error() && { return std::move(error_); }

 private:
  std::optional<T> value_;
  Error error_;
};

}  // namespace platform
