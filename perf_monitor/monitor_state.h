// The state that the driver's thread and the monitor thread share. Each flag and stamp is read
// and written whole; no order between them is relied on.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event.h"

/// 1 while the monitor is on: set by the monitor start, cleared by the monitor thread when no
/// counter query can be opened.
extern std::atomic<int32_t> PerfMonEnabled;
/// 1 from the launch marker to the finish marker.
extern std::atomic<int32_t> EngineRunning;
/// CurrentTimeMs at the last launch and finish markers.
extern std::atomic<int32_t> LaunchStampMs;
extern std::atomic<int32_t> FinishStampMs;
/// Signalled by the driver to end the monitor; never reset after that.
extern platform::ManualResetEvent PerfStopEvent;
