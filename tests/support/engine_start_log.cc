#include "support/engine_start_log.h"

#include <cstdio>
#include <string>

#include "support/text.h"

std::vector<EngineStart> EngineStarts(const std::filesystem::path& log) {
  std::vector<EngineStart> starts;
  std::error_code error;
  if (!std::filesystem::exists(log, error)) return starts;
  for (const std::string& line : ReadLines(log)) {
    EngineStart start;
    // A line still being written when the log is read has no size yet: it is left for later.
    if (std::sscanf(line.c_str(), "%d %ju", &start.pid, &start.executable_size) == 2) starts.push_back(start);
  }
  return starts;
}

std::vector<int> EngineStartPids(const std::filesystem::path& log) {
  std::vector<int> pids;
  for (const EngineStart& start : EngineStarts(log)) pids.push_back(start.pid);
  return pids;
}
