// The standard streams 0, 1 and 2 of this process.
#pragma once

namespace platform {

/// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file the
/// program opens later lands there: with standard output closed, the first file opened would
/// otherwise receive everything printed. Sets bit n of `*closed` for each descriptor n that was
/// closed. False when one cannot be opened.
bool ReserveStandardStreams(unsigned* closed);

/// Whether standard error is a terminal that can redraw a line: a terminal device, and TERM is
/// not "dumb".
bool StandardErrorIsLiveTerminal();

}  // namespace platform
