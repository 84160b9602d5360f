// The engine starters of this process (engine_starter/): started when needed, kept idle between
// programs, one program each at a time.
#pragma once

#include <sys/types.h>

#include <optional>

#include "platform/posix/unique_fd.h"

namespace platform::posix {

/// A running starter and this process's end of its channel.
struct EngineStarter {
  pid_t pid = -1;
  UniqueFd channel;
};

/// An idle starter, started now when none is idle; nothing when the system will not run one
/// (then programs are started directly, from now on).
std::optional<EngineStarter> TakeEngineStarter();

/// Hands back a starter whose program has ended and been reported, for the next program.
void ReturnEngineStarter(EngineStarter starter);

/// Ends a starter that failed or whose program's end was not read: closing its channel ends it.
void DiscardEngineStarter(EngineStarter starter);

/// Ends a starter that no longer answers (stopped, or gone) at once, and reaps it.
void KillEngineStarter(EngineStarter starter);

}  // namespace platform::posix
