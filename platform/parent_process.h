// What a program can do to the process that started it. The reference engine uses it to act
// as a hostile engine would toward the harness's engine starter.
#pragma once

namespace platform {

/// Moves this process into its parent's process group. False where the system has no process
/// groups, or the move is refused.
bool JoinParentProcessGroup();

/// Sends `signal` (the system's number) to this process's parent. False where the system has no
/// such signals, or the parent cannot be signalled.
bool SignalParent(int signal);

}  // namespace platform
