// The counter query and the process table read a /proc tree; its root is a parameter here, so
// that tests can feed a fixture, and the live readers take it from the environment.
#pragma once

#include <memory>
#include <string>

#include "platform/counter_query.h"
#include "platform/process_snapshot.h"

namespace platform {

/// The /proc tree the live readers use: TESTKVE_PROC_ROOT when set and not empty, else /proc.
std::string ProcRoot();

/// A counter query over the /proc tree at `root`, timed by `clock` (the system's monotonic
/// clock when empty). Null when `root` holds no readable `stat`.
std::unique_ptr<CounterQuery> OpenCounterQueryAt(const std::string& root, CounterQuery::Clock clock = {});

/// The processes of the /proc tree at `root`; null when `root` cannot be opened.
std::unique_ptr<ProcessTable> OpenProcessTableAt(const std::string& root);

}  // namespace platform
