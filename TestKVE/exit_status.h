// The one place that turns how the harness ended into its exit status.
#pragma once

/// An argument could not be carried into the command line text; nothing ran.
inline constexpr int kExitUnusableArgument = 2;
/// The harness's own output could not be written.
inline constexpr int kExitOutputLost = 1;

/// The exit status for a harness that ends with `status`: flushes standard output and, when
/// any of the harness's writes to it failed, prints one message on standard error and gives
/// kExitOutputLost. Call it on every way out of the process.
int ExitStatus(int status);
