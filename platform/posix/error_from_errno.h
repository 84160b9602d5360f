// The one table from an errno value to the class of failure that callers tell apart.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace platform {

/// The Error that the errno value `error` stands for, with `text` as its words (empty where
/// the caller adds none).
Error ErrorFromErrno(int error, std::string text);

/// The system's words for the errno value `error`, safe on any thread (strerror_r).
std::string ErrnoText(int error);

/// The same with the system's words for `error` (strerror) as its text.
Error ErrorFromErrno(int error);

/// The same with "<what>: <the system's words>" as its text, `what` naming the call or object.
Error ErrnoFailure(std::string_view what, int error);

}  // namespace platform
