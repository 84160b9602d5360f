// The system's number for the calling thread, as tools such as top and ps show it.
#pragma once

#include <cstdint>

namespace platform {

/// The calling thread's ID.
uint32_t CurrentThreadId();

}  // namespace platform
