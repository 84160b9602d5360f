#include "tools/vxr_ref/steering.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

#include "platform/program_path.h"
#include "platform/whole_file.h"

namespace {

constexpr int kLastSignal = 64;
constexpr int kLongestWaitMs = 3'600'000;
constexpr int kLargestLeakKb = 1 << 20;  // run n holds n GiB at most

bool ParseNumber(std::string_view view, int low, int high, int* number) {
  int parsed = 0;
  auto [last, code] = std::from_chars(view.data(), view.data() + view.size(), parsed);
  if (code != std::errc() || last != view.data() + view.size() || parsed < low || parsed > high) {
    return false;
  }
  *number = parsed;
  return true;
}

// The lines NAME=VALUE of the steering file beside the running engine, read once.
const std::map<std::string, std::string>& FolderSteering() {
  static const std::map<std::string, std::string> values = [] {
    std::map<std::string, std::string> read;
    const std::optional<std::string> program = platform::RunningProgramPath();
    if (!program) return read;
    const size_t separator = program->find_last_of("/\\");
    const std::string folder = separator == std::string::npos ? "" : program->substr(0, separator + 1);
    const platform::Result<std::string> text = ReadWholeFile(folder + kFolderSteeringFile);
    if (!text) return read;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t equals = line.find('=');
      if (equals != std::string::npos) read[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return read;
  }();
  return values;
}

// The steering variable `name`: from the engine folder's steering file, else the environment.
const char* Lookup(const char* name) {
  const auto& folder = FolderSteering();
  if (const auto found = folder.find(name); found != folder.end()) return found->second.c_str();
  return std::getenv(name);
}

// Reads `name` into `*number` when it is set and not empty; false when it is set but is not a
// whole decimal number in [low, high].
bool ReadNumber(const char* name, int low, int high, int* number, std::string* error) {
  const char* text = Lookup(name);
  if (text == nullptr || *text == '\0') return true;
  if (!ParseNumber(text, low, high, number)) {
    *error =
        std::string(name) + "=" + text + " is not a number from " + std::to_string(low) + " to " + std::to_string(high);
    return false;
  }
  return true;
}

// VXR_REF_EXITS: a comma list of exit codes; unset or empty gives none.
bool ReadExitList(std::vector<int>* codes, std::string* error) {
  const char* text = Lookup("VXR_REF_EXITS");
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

std::string Variable(const char* name) {
  const char* text = Lookup(name);
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
  int ignore_term = 0;
  int join_parent_group = 0;
  int read_input = 0;
  if (!ReadNumber("VXR_REF_EXIT", -128, 255, &steering.exit_code, error) ||
      !ReadNumber("VXR_REF_SIGNAL", 1, kLastSignal, &signal, error) ||
      !ReadNumber("VXR_REF_SLEEP_MS", 0, kLongestWaitMs, &steering.sleep_ms, error) ||
      !ReadNumber("VXR_REF_BUSY_MS", 0, kLongestWaitMs, &steering.busy_ms, error) ||
      !ReadNumber("VXR_REF_FD_REPORT", 0, 1, &fd_report, error) ||
      !ReadNumber("VXR_REF_IGNORE_TERM", 0, 1, &ignore_term, error) ||
      !ReadNumber("VXR_REF_JOIN_PARENT_GROUP", 0, 1, &join_parent_group, error) ||
      !ReadNumber("VXR_REF_PARENT_SIGNAL", 1, kLastSignal, &steering.parent_signal, error) ||
      !ReadNumber("VXR_REF_READ_INPUT", 0, 1, &read_input, error) ||
      !ReadNumber("VXR_REF_LEAK_KB", 0, kLargestLeakKb, &steering.leak_kb, error) ||
      !ReadNumber("VXR_REF_HOLD_MS", 0, kLongestWaitMs, &steering.hold_ms, error) ||
      !ReadNumber("VXR_REF_CPU_MS", 0, kLongestWaitMs, &steering.cpu_ms, error) ||
      !ReadNumber("VXR_REF_MEMORY_KB", 0, kLargestLeakKb, &steering.memory_kb, error) ||
      !ReadNumber("VXR_REF_SAY_LINES", 1, 10'000'000, &steering.say_lines, error) ||
      !ReadExitList(&steering.exit_codes, error)) {
    return std::nullopt;
  }
  if (signal != 0) steering.signal = signal;
  steering.fd_report = fd_report == 1;
  steering.ignore_term = ignore_term == 1;
  steering.join_parent_group = join_parent_group == 1;
  steering.read_input = read_input == 1;
  steering.hold_file = Variable("VXR_REF_HOLD_FILE");
  steering.start_log = Variable("VXR_REF_START_LOG");
  steering.plan = Variable("VXR_REF_PLAN");
  steering.helper_pid_file = Variable("VXR_REF_HELPER");
  steering.peak_file = Variable("VXR_REF_PEAK_FILE");
  steering.clean_file = Variable("VXR_REF_CLEAN_FILE");
  steering.say = Variable("VXR_REF_SAY");
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

bool ReadSteeringNumber(const char* name, int low, int high, int* number, std::string* error) {
  return ReadNumber(name, low, high, number, error);
}
