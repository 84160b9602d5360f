// The engine starters of this process (engine_starter/) kept idle between programs, one program
// each at a time. Starting a new one is contained_start/starter_launch.h's: only a program that
// starts programs contained carries the starter.
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

/// An idle starter of this process; nothing when none is idle.
std::optional<EngineStarter> TakeIdleEngineStarter();

/// Hands back a starter whose program has ended and been reported, for the next program.
void ReturnEngineStarter(EngineStarter starter);

/// Ends a starter that failed or whose program's end was not read: closing its channel ends it.
void DiscardEngineStarter(EngineStarter starter);

/// Ends a starter that no longer answers (stopped, or gone) at once, and reaps it.
void KillEngineStarter(EngineStarter starter);

}  // namespace platform::posix
