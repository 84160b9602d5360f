#include "TestKVE/exit_status.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int ExitStatus(const RunEnd& end) {
  if (end.stop_signal != 0) {
    std::fflush(nullptr);
    return 128 + end.stop_signal;
  }
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int flush_errno = errno;
  // The error flag also remembers a write that failed at an earlier flush.
  if (flushed && !std::ferror(stdout) && !end.output_lost) return end.records_lost ? kExitOutputLost : end.status;
  if (end.output_lost) {
    std::fprintf(stderr, "testkve: cannot write standard output: it is closed\n");
  } else if (!flushed && flush_errno != 0) {
    std::fprintf(stderr, "testkve: cannot write standard output: %s\n", std::strerror(flush_errno));
  } else {
    std::fprintf(stderr, "testkve: cannot write standard output: part of the output is lost\n");
  }
  return kExitOutputLost;
}

int FinalExitStatus(const RunEnd& end) {
  if (end.stop_signal != 0) return 128 + end.stop_signal;
  const bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout) && !end.output_lost && !end.records_lost ? end.status : kExitOutputLost;
}
