// The reference engine's start log (VXR_REF_START_LOG): a line per engine start with the
// engine's process ID and the size of its own file, which tests read to count and find the
// engines a run started.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

struct EngineStart {
  int pid = 0;
  uintmax_t executable_size = 0;
};

/// The starts logged so far, in order; none while the log does not exist.
std::vector<EngineStart> EngineStarts(const std::filesystem::path& log);

/// The process IDs of those starts.
std::vector<int> EngineStartPids(const std::filesystem::path& log);
