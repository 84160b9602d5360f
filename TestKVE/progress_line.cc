#include "TestKVE/progress_line.h"

#include <cstdio>

#include "platform/standard_streams.h"

namespace {

// "m:ss", or "h:mm:ss" from an hour on.
std::string Duration(std::chrono::milliseconds duration) {
  const long long seconds = duration.count() / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  return text;
}

// Back to the start of the line, and the line erased.
constexpr char kEraseLine[] = "\r\x1b[K";

}  // namespace

std::string ProgressText(uint32_t done, uint32_t total, uint32_t failed, std::chrono::milliseconds elapsed) {
  std::string text = "Pass " + std::to_string(done) + " of " + std::to_string(total) + ", " + std::to_string(failed) +
                     " failed, " + Duration(elapsed) + " elapsed";
  if (done == 0 || done >= total) return text;
  const auto left = elapsed / done * (total - done);
  return text + ", about " + Duration(left) + " left";
}

ProgressLine::ProgressLine(uint32_t total)
    : live_(platform::StandardErrorIsLiveTerminal()), total_(total), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(uint32_t done, uint32_t failed) {
  if (!live_) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
  // What the harness printed comes first, and the line goes under it.
  std::fflush(stdout);
  std::fprintf(stderr, "%s%s", kEraseLine, ProgressText(done, total_, failed, elapsed).c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!shown_) return;
  std::fputs(kEraseLine, stderr);
  std::fflush(stderr);
  shown_ = false;
}
