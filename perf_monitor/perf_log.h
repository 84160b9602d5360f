// The line writer of the monitor and its markers: each line to the console and to the
// performance log.
#pragma once

#include "platform/file_stream.h"

class PerfLog {
 public:
  /// Opens `path` as the log, created or emptied; false (the log closed) when it cannot be.
  bool Open(const char* path);
  /// Closes the log; later lines go to the console only.
  void Close() { file_.reset(); }

  /// Formats one line like printf and writes it whole to standard output and, when the log is
  /// open, to the log, which is flushed at once so an interrupted run keeps every line. A line
  /// of 2048 characters or more is dropped.
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  UniqueStream file_;
};
