#include "perf_monitor/perf_log.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {
constexpr int kLineBufferSize = 2048;
}  // namespace

bool PerfLog::Open(const char* path) {
  platform::Result<UniqueStream> created = CreateWriteStream(path);
  if (!created) {
    std::fprintf(stderr, "Perfmon: cannot open %s\n", created.error().text.c_str());
    return false;
  }
  file_ = std::move(*created);
  return true;
}

void PerfLog::Write(const char* format, ...) {
  char line[kLineBufferSize];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0 || length >= kLineBufferSize) return;
  std::fputs(line, stdout);
  if (!file_) return;
  std::fputs(line, file_.get());
  std::fflush(file_.get());
}
