#include "tools/vxr_ref/steering.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

constexpr int kLastSignal = 64;
constexpr int kLongestWaitMs = 3'600'000;

bool ParseNumber(std::string_view view, int low, int high, int* number) {
  int parsed = 0;
  auto [last, code] = std::from_chars(view.data(), view.data() + view.size(), parsed);
  if (code != std::errc() || last != view.data() + view.size() || parsed < low || parsed > high) {
    return false;
  }
  *number = parsed;
  return true;
}

// Reads `name` into `*number` when it is set and not empty; false when it is set but is not a
// whole decimal number in [low, high].
bool ReadNumber(const char* name, int low, int high, int* number, std::string* error) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return true;
  if (!ParseNumber(text, low, high, number)) {
    *error = std::string(name) + "=" + text + " is not a number from " + std::to_string(low) +
             " to " + std::to_string(high);
    return false;
  }
  return true;
}

std::string Variable(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr ? text : "";
}

// One line of the plan into `steering`: "exit N", "signal N" or "sleep MS".
bool ApplyStep(const std::string& line, Steering* steering) {
  const size_t space = line.find(' ');
  if (space == std::string::npos) return false;
  const std::string_view word = std::string_view(line).substr(0, space);
  const std::string_view number = std::string_view(line).substr(space + 1);
  int value = 0;
  if (word == "exit" && ParseNumber(number, -128, 255, &value)) {
    steering->exit_code = value;
    return true;
  }
  if (word == "signal" && ParseNumber(number, 1, kLastSignal, &value)) {
    steering->signal = value;
    return true;
  }
  if (word == "sleep" && ParseNumber(number, 0, kLongestWaitMs, &value)) {
    steering->sleep_ms = value;
    return true;
  }
  return false;
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
      !ReadNumber("VXR_REF_FD_REPORT", 0, 1, &fd_report, error) ||
      !ReadNumber("VXR_REF_HOLD_MS", 0, kLongestWaitMs, &steering.hold_ms, error)) {
    return std::nullopt;
  }
  if (signal != 0) steering.signal = signal;
  steering.fd_report = fd_report == 1;
  steering.start_log = Variable("VXR_REF_START_LOG");
  steering.plan = Variable("VXR_REF_PLAN");
  return steering;
}

bool TakePlannedStep(Steering* steering, std::string* error) {
  if (steering->plan.empty()) return true;
  std::ifstream in(steering->plan);
  std::string first;
  if (!std::getline(in, first)) return true;  // a used-up plan steers no more
  std::stringstream rest;
  rest << in.rdbuf();
  in.close();
  std::ofstream(steering->plan, std::ios::binary | std::ios::trunc) << rest.str();
  if (ApplyStep(first, steering)) return true;
  *error = "VXR_REF_PLAN: \"" + first + "\" is not \"exit N\", \"signal N\" or \"sleep MS\"";
  return false;
}
