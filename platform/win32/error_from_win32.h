// The one table from a Windows error number (GetLastError) to the class of failure that
// callers tell apart.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace platform {

/// The Error that the Windows error number `error` stands for, with `text` as its words.
Error ErrorFromWin32(unsigned long error, std::string text);

/// The same with the system's message for `error` as its text.
Error ErrorFromWin32(unsigned long error);

/// The same with "<what>: <the system's message>" as its text, `what` naming the call or object.
Error Win32Failure(std::string_view what, unsigned long error);

}  // namespace platform
