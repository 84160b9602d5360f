// TestSrv.exe <folder> <program name> <options>: changes into the folder, runs the harness that
// lies beside this program (or else the installed one) with the options, and exits with the
// harness's exit status. Started by the service manager, its output (and the harness's) goes to
// the service's log; on Windows it is a service of the service control manager, which it tells
// when it runs and when it has stopped, with the harness's exit status, and whose stop it takes
// by stopping the harness.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "command_text/service_arguments.h"
#include "platform/process.h"
#include "platform/program_path.h"
#include "platform/service_program.h"

namespace {

constexpr char kServiceName[] = "TestSrv";
constexpr char kHarnessName[] = TESTSRV_HARNESS_NAME;
// The exit status of a harness that could not be run at all, as a shell reports it.
constexpr int kNotRun = 127;

// One whole line with the time, written at once so it stays whole between the harness's lines.
void Log(const std::string& what) {
  char stamp[32] = "";
  std::time_t now = std::time(nullptr);
  if (const std::tm* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
  std::printf("TestSrv %s %s\n", stamp, what.c_str());
  std::fflush(stdout);
}

// A quoted text as it goes into the log: a control character in it (a line feed above all)
// could pass for a line of this program's own, so each shows as \xHH.
std::string Escaped(const char* text) {
  std::string quoted;
  for (const char* c = text; *c != '\0'; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if (byte >= 0x20 && byte != 0x7F) {
      quoted += *c;
      continue;
    }
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    quoted += escape;
  }
  return quoted;
}

std::string Quoted(const char* text) { return "\"" + Escaped(text) + "\""; }

// Paths are UTF-8 text here. A path is made from its UTF-8 form and read back as UTF-8, never
// through a narrow string, which Windows' C runtime would read in its own code page.
std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}
std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// The installed harness when this program's file really lies in its installed place,
// <prefix>/lib/testkve/TestSrv.exe: <prefix>/bin/testkve. A copy anywhere else has none.
std::optional<std::filesystem::path> InstalledHarness() {
  const std::optional<std::string> real_program = platform::RunningProgramPath();
  if (!real_program) return std::nullopt;
  std::filesystem::path prefix = PathFromUtf8(*real_program).parent_path();
  const std::filesystem::path private_dir(TESTKVE_INSTALL_PRIVATE_DIR);
  const std::vector<std::filesystem::path> parts(private_dir.begin(), private_dir.end());
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (prefix.filename() != *part) return std::nullopt;
    prefix = prefix.parent_path();
  }
  return prefix / TESTKVE_INSTALL_BINDIR / kHarnessName;
}

// The harness beside this program as it was started (the build's engine folder, or a folder
// holding both); else the installed one, so that a link to the installed service program in an
// engine folder runs the installed harness.
std::filesystem::path ChooseHarness(const std::string& program, std::error_code& error) {
  const std::filesystem::path beside =
      std::filesystem::absolute(PathFromUtf8(program), error).parent_path() / kHarnessName;
  std::error_code ignored;
  if (error || std::filesystem::exists(beside, ignored)) return beside;
  const std::optional<std::filesystem::path> installed = InstalledHarness();
  return installed && std::filesystem::exists(*installed, ignored) ? *installed : beside;
}

int ExitStatusOf(const platform::ProcessOutcome& outcome) {
  using Kind = platform::ProcessOutcome::Kind;
  switch (outcome.kind) {
    case Kind::kExited:
      return outcome.code;
    case Kind::kSignaled:
      return 128 + outcome.code;
    case Kind::kNotStarted:
    case Kind::kWaitFailed:
      break;
  }
  return kNotRun;
}

std::string Describe(const platform::ProcessOutcome& outcome) {
  using Kind = platform::ProcessOutcome::Kind;
  std::string code = std::to_string(outcome.code);
  switch (outcome.kind) {
    case Kind::kExited:
      return "harness exit status " + code;
    case Kind::kSignaled:
      return "harness killed by signal " + code + ", exit status " + std::to_string(ExitStatusOf(outcome));
    case Kind::kNotStarted:
      return "harness not started (errno " + code + "), exit status " + std::to_string(kNotRun);
    case Kind::kWaitFailed:
      break;
  }
  return "harness lost (errno " + code + "), exit status " + std::to_string(kNotRun);
}

// The harness that runs, for a stop that comes from the manager's thread.
std::mutex harness_mutex;
platform::ChildProcess running_harness;
bool stop_asked = false;

// The harness's own grace for its engine (2 s at a time limit), and time to write its records.
constexpr int kHarnessStopGraceMs = 10000;

// The service's work: argv is this program's path, then the service's start arguments.
int Serve(const std::vector<std::string>& argv) {
  if (argv.size() != 4) {
    Log("start: expected three arguments (folder, program name, options), got " + std::to_string(argv.size() - 1));
    return 2;
  }
  Log("start: folder " + Quoted(argv[1].c_str()) + ", program " + Quoted(argv[2].c_str()) + ", options " +
      Quoted(argv[3].c_str()));
  std::error_code error;
  // Found before the change of folder, so a relative program path still names this program.
  std::filesystem::path harness = ChooseHarness(argv[0], error);
  if (!error) std::filesystem::current_path(PathFromUtf8(argv[1]), error);
  if (error) {
    Log("end: cannot enter " + Escaped(argv[1].c_str()) + " (" + error.message() + "), exit status " +
        std::to_string(kNotRun));
    return kNotRun;
  }
  // The harness sees only its plain name: a folder path can hold words that scan as options.
  // Where a program gets one command line (Windows) it is the name and the options as handed
  // over, which the harness scans itself; elsewhere the options are split as it would split them.
  std::vector<std::string> harness_argv = {kHarnessName};
  for (std::string& word : ServiceOptionWords(argv[3])) harness_argv.push_back(std::move(word));
  const std::string command_line = std::string(kHarnessName) + " " + argv[3];
  platform::ProcessOutcome outcome{platform::ProcessOutcome::Kind::kNotStarted, 0};
  {
    std::unique_lock lock(harness_mutex);
    if (stop_asked) {
      Log("end: stopped before the harness started, exit status " + std::to_string(kNotRun));
      return kNotRun;
    }
    running_harness = platform::ChildProcess::SpawnProgramLine(Utf8(harness), command_line, harness_argv,
                                                               platform::ConsoleMode::kShared);
    lock.unlock();
    outcome = running_harness.Wait();
  }
  {
    // After any stop that is ending it, so that no stop outlives the harness it ends.
    const std::lock_guard lock(harness_mutex);
    running_harness = platform::ChildProcess();
  }
  Log("end: " + Describe(outcome));
  return ExitStatusOf(outcome);
}

// The manager's stop (Windows): the harness is stopped as a console's Ctrl+Break stops it (it
// ends its engine and writes its records), and ended with its tree when it has not ended
// within the grace period.
void Stop() {
  const std::lock_guard lock(harness_mutex);
  stop_asked = true;
  Log("stop: asked by the service manager");
  running_harness.EndFromAnotherThread(std::chrono::milliseconds(kHarnessStopGraceMs));
}

}  // namespace

int main(int argc, char** argv) {
  // The options are split by the harness's own scan, which steps by the locale's characters.
  std::setlocale(LC_CTYPE, "");
  return platform::RunServiceProgram(kServiceName, argc, argv, Serve, Stop);
}
