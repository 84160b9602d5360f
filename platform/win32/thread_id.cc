#include "platform/thread_id.h"

#include <windows.h>

namespace platform {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

}  // namespace platform
