#include "tools/vxr_ref/steering.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kLastSignal = 64;
constexpr int kLongestWaitMs = 3'600'000;

// Reads `name` into `*number` when it is set and not empty; false when it is set but is not a
// whole decimal number in [low, high].
bool ReadNumber(const char* name, int low, int high, int* number, std::string* error) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return true;
  std::string_view view(text);
  int parsed = 0;
  auto [last, code] = std::from_chars(view.data(), view.data() + view.size(), parsed);
  if (code != std::errc() || last != view.data() + view.size() || parsed < low || parsed > high) {
    *error = std::string(name) + "=" + text + " is not a number from " + std::to_string(low) +
             " to " + std::to_string(high);
    return false;
  }
  *number = parsed;
  return true;
}

}  // namespace

std::optional<Steering> ReadSteering(std::string* error) {
  Steering steering;
  int signal = 0;
  int fd_report = 0;
  if (!ReadNumber("VXR_REF_EXIT", -128, 255, &steering.exit_code, error) ||
      !ReadNumber("VXR_REF_SIGNAL", 1, kLastSignal, &signal, error) ||
      !ReadNumber("VXR_REF_SLEEP_MS", 0, kLongestWaitMs, &steering.sleep_ms, error) ||
      !ReadNumber("VXR_REF_BUSY_MS", 0, kLongestWaitMs, &steering.busy_ms, error) ||
      !ReadNumber("VXR_REF_FD_REPORT", 0, 1, &fd_report, error)) {
    return std::nullopt;
  }
  if (signal != 0) steering.signal = signal;
  steering.fd_report = fd_report == 1;
  return steering;
}

bool ReadSteeringNumber(const char* name, int low, int high, int* number, std::string* error) {
  return ReadNumber(name, low, high, number, error);
}
