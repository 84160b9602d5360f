#include "perf_monitor/monitor_state.h"

std::atomic<int32_t> PerfMonEnabled{0};
std::atomic<int32_t> EngineRunning{0};
std::atomic<int32_t> LaunchStampMs{0};
std::atomic<int32_t> FinishStampMs{0};
platform::ManualResetEvent PerfStopEvent;
