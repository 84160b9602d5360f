#include "perf_monitor/perf_log.h"

#include <cstdarg>
#include <cstdio>

UniqueStream PerfLogFile;

namespace {
constexpr int kLineBufferSize = 2048;
}  // namespace

bool OpenPerfLog(const char* path) {
  std::string error;
  PerfLogFile = CreateWriteStream(path, &error);
  if (!PerfLogFile) std::fprintf(stderr, "Perfmon: cannot open %s\n", error.c_str());
  return PerfLogFile != nullptr;
}

void PerfLog(const char* format, ...) {
  char line[kLineBufferSize];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0 || length >= kLineBufferSize) return;
  std::fputs(line, stdout);
  if (!PerfLogFile) return;
  std::fputs(line, PerfLogFile.get());
  std::fflush(PerfLogFile.get());
}
