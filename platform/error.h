// One failure of a system service, as the portable headers report it: the class of failure a
// caller acts on, the system's own number for it, and a text for a message.
#pragma once

#include <string>

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

struct Error {
  ErrorKind kind = ErrorKind::kNone;
  int code = 0;      ///< the system's own number for the failure; 0 when it gave none
  std::string text;  ///< why, in words fit for a message after the object's name
};

}  // namespace platform
