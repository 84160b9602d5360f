// The standard streams of this process: input (0), output (1) and error (2).
#pragma once

namespace platform {

/// Opens the null device on each standard stream that is closed, so that no file the program
/// opens later lands there: with standard output closed, the first file opened would otherwise
/// receive everything printed. Sets bit n of `*closed` for each standard stream n that was
/// closed. False when one cannot be opened.
bool ReserveStandardStreams(unsigned* closed);

/// Whether standard error is a terminal that can redraw a line: a terminal device, and TERM is
/// not "dumb".
bool StandardErrorIsLiveTerminal();

}  // namespace platform
