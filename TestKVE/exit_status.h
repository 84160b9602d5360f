// The one place that turns how the harness ended into its exit status: 0 on every normal end, as
// the system has it; with /STRICT whether everything the run did succeeded, so that a CI step
// fails by itself; 1 when the harness's own output was lost; 128 + the signal when a stop
// signal ended it. Only main ends the process, with ExitStatus.
#pragma once

#include <cstdint>

/// An argument could not be carried into the command line text; nothing ran.
inline constexpr int kExitUnusableArgument = 2;
/// An option the harness does not know, under /STRICT; nothing ran.
inline constexpr int kExitUnknownOption = 2;
/// The harness's own output could not be written.
inline constexpr int kExitOutputLost = 1;

/// Called whenever the client prints a failure ("Error Code: ..."): a library call or an
/// engine run did not succeed.
void NoteFailedCall();

/// Called for every other failure that /STRICT counts and that a message on standard error has
/// told: a run record that could not be opened or written, a number option that does not
/// read as typed, a mailslot that could not be made, a service that could not be started.
void NoteFailure();

/// Called when a stop signal (`signal`) ended an engine run: the run goes no further, and the
/// harness ends with 128 + `signal`.
void NoteStop(int signal);

/// The stop signal noted, or 0.
int NotedStopSignal();

/// How many failures have been noted so far (both kinds).
uint64_t FailureCount();

/// The exit status for the end of the run: with `strict` (/STRICT), 1 when any failure was
/// noted; otherwise 0.
int HarnessExitStatus(bool strict);

/// Records that standard output was closed when the harness started: whatever it prints is
/// lost, and ExitStatus says so.
void MarkOutputLost();

/// The exit status for a harness whose run ended with `status` (HarnessExitStatus's, or 0):
/// flushes the output; 128 + the stop signal when one ended an engine run; else, when any of
/// the harness's writes to standard output failed, one message on standard error and
/// kExitOutputLost; else `status`.
int ExitStatus(int status);

/// The exit status that ExitStatus(`status`) will return, for records written before the end;
/// flushes standard output to know, and prints nothing.
int FinalExitStatus(int status);
