#include "tools/vxr_ref/steering.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kLastSignal = 64;
constexpr int kLongestWaitMs = 3'600'000;
constexpr int kLargestLeakKb = 1 << 20;  // run n holds n GiB at most

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

// VXR_REF_EXITS: a comma list of exit codes; unset or empty gives none.
bool ReadExitList(std::vector<int>* codes, std::string* error) {
  const char* text = std::getenv("VXR_REF_EXITS");
  if (text == nullptr) return true;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::string_view item = rest.substr(0, rest.find(','));
    rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    int code = 0;
    auto [last, status] = std::from_chars(item.data(), item.data() + item.size(), code);
    if (status != std::errc() || last != item.data() + item.size() || code < -128 || code > 255) {
      *error = std::string("VXR_REF_EXITS=") + text + " is not a list of numbers from -128 to 255";
      return false;
    }
    codes->push_back(code);
  }
  return true;
}

}  // namespace

std::optional<Steering> ReadSteering(std::string* error) {
  Steering steering;
  int signal = 0;
  int fd_report = 0;
  int ignore_term = 0;
  if (!ReadNumber("VXR_REF_EXIT", -128, 255, &steering.exit_code, error) ||
      !ReadNumber("VXR_REF_SIGNAL", 1, kLastSignal, &signal, error) ||
      !ReadNumber("VXR_REF_SLEEP_MS", 0, kLongestWaitMs, &steering.sleep_ms, error) ||
      !ReadNumber("VXR_REF_BUSY_MS", 0, kLongestWaitMs, &steering.busy_ms, error) ||
      !ReadNumber("VXR_REF_FD_REPORT", 0, 1, &fd_report, error) ||
      !ReadNumber("VXR_REF_IGNORE_TERM", 0, 1, &ignore_term, error) ||
      !ReadNumber("VXR_REF_LEAK_KB", 0, kLargestLeakKb, &steering.leak_kb, error) ||
      !ReadExitList(&steering.exit_codes, error)) {
    return std::nullopt;
  }
  if (signal != 0) steering.signal = signal;
  steering.fd_report = fd_report == 1;
  steering.ignore_term = ignore_term == 1;
  return steering;
}

bool ReadSteeringNumber(const char* name, int low, int high, int* number, std::string* error) {
  return ReadNumber(name, low, high, number, error);
}
