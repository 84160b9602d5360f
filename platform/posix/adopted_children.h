// The orphans that this process adopts while its engine starters run programs: a starter that
// dies or stops (its program killed or stopped it) would otherwise leave the program's tree to
// init, where nothing of ours can end it.
#pragma once

#include <sys/types.h>

namespace platform::posix {

/// Notes a child that this process started itself, which EndAdoptedChildren leaves alone
/// until ForgetOwnChild (once it is reaped).
void NoteOwnChild(pid_t pid);
void ForgetOwnChild(pid_t pid);

/// While at least one hold is taken, this process is a child subreaper: the orphans of its
/// children's trees become its own children rather than init's.
void HoldOrphans();
void ReleaseOrphans();

/// Kills and reaps every child of this process that it did not start itself, and the children
/// they leave to it, until none is left.
void EndAdoptedChildren();

}  // namespace platform::posix
