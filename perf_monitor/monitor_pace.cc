#include "perf_monitor/monitor_pace.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

MonitorPace ReadPace() {
  MonitorPace pace;
  const char* text = std::getenv("TESTKVE_MONITOR_SPEEDUP");
  if (text == nullptr) return pace;
  int divisor = 0;
  const char* end = text + std::strlen(text);
  auto [stop, error] = std::from_chars(text, end, divisor);
  if (error != std::errc() || stop != end || divisor < 2 || divisor > 1000) return pace;
  pace.settle /= divisor;
  pace.report /= divisor;
  pace.sample /= divisor;
  return pace;
}

}  // namespace

const MonitorPace& CurrentMonitorPace() {
  static const MonitorPace pace = ReadPace();
  return pace;
}
