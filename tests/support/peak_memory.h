// The peak memory of a program run, as the kernel counts it: for tests that show a reader's
// memory stays bounded, without timing anything.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct PeakMemoryRun {
  int exit_code = -1;  ///< the exit status, or -1 when it did not exit normally
  long peak_kib = -1;  ///< the largest resident set of the process, in KiB
};

/// Runs `program` with `args` in `folder`, standard output on /dev/null, and returns its exit
/// status and peak resident memory (wait4's ru_maxrss). The kernel counts the memory of the
/// calling process before the exec into that peak, so compare runs made from the same state of
/// the caller. Throws std::runtime_error when it cannot be started or waited for.
PeakMemoryRun RunForPeakMemory(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& folder);
