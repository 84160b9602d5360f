// Taking an engine starter for a program: an idle one of this process, else a new one.
#pragma once

#include <optional>

#include "platform/posix/engine_starters.h"

namespace platform::posix {

/// An idle starter, started now when none is idle; nothing when the system will not run one
/// (then programs are started directly, from now on).
std::optional<EngineStarter> TakeEngineStarter();

}  // namespace platform::posix
