// The counter query and the engine probe read a /proc tree; its root is a parameter here, so
// that tests can feed a fixture, and the live readers take it from the environment.
#pragma once

#include <memory>
#include <string>

#include "platform/counter_query.h"
#include "platform/engine_process.h"

namespace platform {

/// The /proc tree the live readers use: TESTKVE_PROC_ROOT when set and not empty, else /proc.
std::string ProcRoot();

/// A counter query over the /proc tree at `root`, timed by `clock` (the system's monotonic
/// clock when empty). Null when `root` holds no readable `stat`.
std::unique_ptr<CounterQuery> OpenCounterQueryAt(const std::string& root, CounterQuery::Clock clock = {});

/// An engine probe over the /proc tree at `root` for the engines of the harness process
/// `harness_pid`; null when `root` cannot be opened.
std::unique_ptr<EngineProcessProbe> OpenEngineProbeAt(const std::string& root, int harness_pid);

}  // namespace platform
