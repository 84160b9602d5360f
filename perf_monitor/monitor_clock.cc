#include "perf_monitor/monitor_clock.h"

#include <chrono>

int32_t CurrentTimeMs(int32_t* stamp) {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count();
  *stamp = static_cast<int32_t>(static_cast<uint32_t>(ms));
  return *stamp;
}

double ElapsedSeconds(int32_t launch_ms, int32_t finish_ms) {
  const auto difference = static_cast<int32_t>(static_cast<uint32_t>(finish_ms) - static_cast<uint32_t>(launch_ms));
  return difference * 0.001;
}
