// One line typed at the interactive prompt.
#pragma once

#include <cstddef>
#include <cstdio>

/// The typed line is read into a buffer of this size, terminator included.
inline constexpr size_t kInteractiveLineSize = 1024;

/// Reads one line from `input` into `line`: everything up to a line feed, which is dropped
/// together with one carriage return right before it (a file saved with CR LF line ends reads
/// as typed), or up to the end of input. A longer line is cut to 1023 bytes and the rest of
/// it read and dropped. False when the input has ended with no character read.
bool ReadInteractiveLine(std::FILE* input, char (&line)[kInteractiveLineSize]);
