// The processor time the calling process has used so far, as the system counts it.
#pragma once

#include <cstdint>

namespace platform {

/// User and system time of the calling process (all its threads), in microseconds.
uint64_t OwnProcessorTimeUs();

}  // namespace platform
