// The harness's exit status: 0 on every normal end, as the system has it, or with /STRICT
// whether everything the run did succeeded, so that a CI step fails by itself.
#pragma once

/// Called whenever the client prints a failure ("Error Code: ..."): a library call or an
/// engine run did not succeed.
void NoteFailedCall();

/// The exit status for the end of the run: with `strict` (/STRICT), 1 when any failure was
/// noted; otherwise 0.
int HarnessExitStatus(bool strict);
