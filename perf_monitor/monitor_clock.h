// The monitor's 32-bit millisecond clock and the run time taken from two of its stamps.
#pragma once

#include <cstdint>

/// Milliseconds since 1 January 1970 UTC, cut to their low 32 bits; stored in `*stamp` and
/// returned.
int32_t CurrentTimeMs(int32_t* stamp);

/// The seconds from `launch_ms` to `finish_ms`, two CurrentTimeMs stamps; right across the
/// 32-bit wrap for any run shorter than about 24 days.
double ElapsedSeconds(int32_t launch_ms, int32_t finish_ms);
