#include "TestKVE/exit_status.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint64_t g_failed_calls = 0;
bool g_output_closed = false;
int g_stop_signal = 0;

}  // namespace

void NoteFailedCall() { ++g_failed_calls; }

void NoteFailure() { ++g_failed_calls; }

uint64_t FailureCount() { return g_failed_calls; }

void MarkOutputLost() { g_output_closed = true; }

void NoteStop(int signal) {
  if (g_stop_signal == 0) g_stop_signal = signal;
}

int NotedStopSignal() { return g_stop_signal; }

int HarnessExitStatus(bool strict) { return strict && g_failed_calls != 0 ? 1 : 0; }

int ExitStatus(int status) {
  if (const int signal = g_stop_signal; signal != 0) {
    std::fflush(nullptr);
    return 128 + signal;
  }
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int flush_errno = errno;
  // The error flag also remembers a write that failed at an earlier flush.
  if (flushed && !std::ferror(stdout) && !g_output_closed) return status;
  if (g_output_closed) {
    std::fprintf(stderr, "testkve: cannot write standard output: it is closed\n");
  } else if (!flushed && flush_errno != 0) {
    std::fprintf(stderr, "testkve: cannot write standard output: %s\n", std::strerror(flush_errno));
  } else {
    std::fprintf(stderr, "testkve: cannot write standard output: part of the output is lost\n");
  }
  return kExitOutputLost;
}

int FinalExitStatus(int status) {
  if (const int signal = g_stop_signal; signal != 0) return 128 + signal;
  const bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout) && !g_output_closed ? status : kExitOutputLost;
}
