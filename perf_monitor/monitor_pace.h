// The monitor's timing: the pause after its start and after each monitored pass, the wait for
// its report, and its sampling period. A user always gets the design's values; the test suite
// divides them all by TESTKVE_MONITOR_SPEEDUP (a whole number, 1 to 1000), so that tests of what
// the monitor records do not spend their time waiting. It is no user option: nothing documents
// it outside the tests.
#pragma once

#include <chrono>

struct MonitorPace {
  std::chrono::milliseconds settle{5000};  // after the start, and after each engine run
  std::chrono::milliseconds report{1000};  // for the monitor's report
  std::chrono::milliseconds sample{1000};  // between two samples
};

/// The design's values, divided by TESTKVE_MONITOR_SPEEDUP when it is set to a number from 2 to
/// 1000; anything else leaves them as they are. Read once.
const MonitorPace& CurrentMonitorPace();
