// The line writer of the monitor and its markers: each line to the console and to the
// performance log.
#pragma once

#include "platform/file_stream.h"

/// The open performance log, or null.
extern UniqueStream PerfLogFile;

/// Opens `path` as PerfLogFile, created or emptied; false (PerfLogFile null) when it cannot be.
bool OpenPerfLog(const char* path);

/// Formats one line like printf and writes it whole to standard output and, when the log is
/// open, to the log, which is flushed at once so an interrupted run keeps every line. A line of
/// 2048 characters or more is dropped.
void PerfLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
