// The one place that turns how the harness ended into its exit status: 0 on every normal end, as
// the system has it; with /STRICT whether everything the run did succeeded, so that a CI step
// fails by itself; 1 when the harness's own output was lost.
#pragma once

/// An argument could not be carried into the command line text; nothing ran.
inline constexpr int kExitUnusableArgument = 2;
/// The harness's own output could not be written.
inline constexpr int kExitOutputLost = 1;

/// Called whenever the client prints a failure ("Error Code: ..."): a library call or an
/// engine run did not succeed.
void NoteFailedCall();

/// The exit status for the end of the run: with `strict` (/STRICT), 1 when any failure was
/// noted; otherwise 0.
int HarnessExitStatus(bool strict);

/// Records that standard output was closed when the harness started: whatever it prints is
/// lost, and ExitStatus says so.
void MarkOutputLost();

/// The exit status for a harness that ends with `status`: flushes standard output and, when
/// any of the harness's writes to it failed, prints one message on standard error and gives
/// kExitOutputLost. Call it on every way out of the process.
int ExitStatus(int status);
