// vxr_ref: the reference engine. It takes the settings block that the harness names on its
// command line, writes every setting it received to <report folder>/settings.txt (and, in
// DUMP_PATTERNS_ONLY mode, the names of its pattern file to patterns.txt) and ends as its
// environment tells it to (see steering.h). It prints nothing unless something fails or
// VXR_REF_SAY asks it to.
// Like a real engine it runs once per report folder at a time: a second instance exits with
// VXR_RET_INIT_EXIST_INSTANCE while the first holds the folder's lock.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine_sdk/engine_settings.h"
#include "platform/file_stream.h"
#include "platform/parent_process.h"
#include "platform/process.h"
#include "platform/processor_time.h"
#include "platform/program_path.h"
#include "tools/vxr_ref/engine_messages.h"
#include "tools/vxr_ref/pattern_names.h"
#include "tools/vxr_ref/run_counter.h"
#include "tools/vxr_ref/settings_report.h"
#include "tools/vxr_ref/steering.h"
#include "vxr_contract.h"

namespace {

// Each failure has its own exit code, so a harness test can tell them apart.
constexpr int kExitUsage = 64;          // bad command line or steering variable
constexpr int kExitCannotAttach = 65;   // the block could not be reached or mapped
constexpr int kExitBadBlock = 66;       // bad header or checksum
constexpr int kExitBadRecords = 67;     // a record does not fit the block or its kind
constexpr int kExitReportFailed = 68;   // the report folder or a file could not be written
constexpr int kExitSignalIgnored = 69;  // VXR_REF_SIGNAL did not end the process
// What an engine answers when its pattern file cannot be loaded (VXR_RET_LOAD_PATTERN_FAILED).
constexpr int kExitLoadPatternFailed = -93;

int Fail(int exit_code, const std::string& message) {
  std::fprintf(stderr, "vxr_ref: %s\n", message.c_str());
  return exit_code;
}

void SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// One line per start, "<process ID> <size of the executable>", appended in one write.
void LogStart(const std::string& log) {
  if (log.empty()) return;
  const std::optional<std::string> self = platform::RunningProgramPath();
  int64_t size = 0;
  if (self) QueryFileSize(self->c_str(), &size);
  std::ofstream(log, std::ios::app) << platform::CurrentProcessId() << ' ' << size << '\n';
}

// Waits for the test that holds the file to remove it; looked at every few milliseconds.
void HoldWhileExists(const std::string& file) {
  if (file.empty()) return;
  std::error_code ignored;
  while (std::filesystem::exists(file, ignored)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The helper's own part (the reference engine started as "/HELPER=<file>"): it writes its
// process ID, renamed into place whole, and sleeps five minutes.
constexpr std::string_view kHelperOption = "/HELPER=";

int RunAsHelper(const std::string& pid_file) {
  std::ofstream(pid_file + ".new") << platform::CurrentProcessId() << '\n';
  std::error_code ignored;
  std::filesystem::rename(pid_file + ".new", pid_file, ignored);
  SleepMs(300'000);
  return 0;
}

// A helper that outlives the engine unless what holds the engine's tree ends it, as a daemon
// would (on Linux it leaves the engine's group and session). The engine goes on once the
// helper has written its process ID.
void StartHelper(const std::string& pid_file) {
  if (pid_file.empty()) return;
#ifdef _WIN32
  const std::optional<std::string> self = platform::RunningProgramPath();
  if (!self) return;
  const std::vector<std::string> argv = {*self, std::string(kHelperOption) + pid_file};
#else
  const std::vector<std::string> argv = {"/bin/sh", "-c",
                                         "echo $$ > \"$0.new\" && mv \"$0.new\" \"$0\"; exec sleep 300", pid_file};
#endif
  if (!platform::StartAndLeave(argv)) return;
  std::error_code ignored;
  for (int wait = 0; wait < 10'000 && !std::filesystem::exists(pid_file, ignored); ++wait) SleepMs(1);
}

// The engine's own peak resident memory, in KiB, as the system counts it.
void WriteOwnPeak(const std::string& file) {
  if (file.empty()) return;
  if (const uint64_t peak = platform::OwnPeakResidentKib(); peak != 0) std::ofstream(file) << peak << '\n';
}

// Cleans `file` as an engine cleans an infected file, after noting in the report folder what it
// found there: a harness that restores its corpus shows the same first line in every run.
bool CleanFile(const std::string& file, const std::filesystem::path& report_folder) {
  if (file.empty()) return true;
  std::string found = "(missing)";
  if (std::ifstream in(file); in) std::getline(in, found);
  std::ofstream(report_folder / "cleaned.txt", std::ios::app) << found << '\n';
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "cleaned\n";
  return static_cast<bool>(out);
}

void Say(const std::string& text, int lines) {
  if (text.empty()) return;
  for (int line = 1; line <= lines; ++line) {
    const std::string number = lines > 1 ? std::to_string(line) + " " : "";
    std::printf("%s%s\n", number.c_str(), text.c_str());
    std::fprintf(stderr, "%s%s on stderr\n", number.c_str(), text.c_str());
  }
  std::fflush(stdout);
}

// Computes until the process has used `milliseconds` of processor time: the same work on a
// busy machine as on an idle one, however long it takes. The clock is a system call, so it
// is read only every few tens of microseconds of computing, which keeps the work user time.
void UseProcessorTime(int milliseconds) {
  const uint64_t end = platform::OwnProcessorTimeUs() + static_cast<uint64_t>(milliseconds) * 1000;
  volatile unsigned long spins = 0;
  while (platform::OwnProcessorTimeUs() < end) {
    for (int step = 0; step < 50'000; ++step) spins = spins + 1;
  }
}

void KeepBusy(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  volatile unsigned long spins = 0;
  while (std::chrono::steady_clock::now() < end) spins = spins + 1;
}

int ExitCodeForRead(engine_sdk::ReadStatus status) {
  switch (status) {
    case engine_sdk::ReadStatus::kCannotAttach:
      return kExitCannotAttach;
    case engine_sdk::ReadStatus::kBadBlock:
      return kExitBadBlock;
    default:
      return kExitBadRecords;
  }
}

std::vector<std::string> SettingLines(const std::vector<engine_sdk::EngineSetting>& settings) {
  std::vector<std::string> lines;
  for (const engine_sdk::EngineSetting& setting : settings) {
    lines.push_back(FormatSettingLine(setting));
  }
  return lines;
}

// The descriptors beyond the standard streams (`streams` false; the block's was closed after
// reading), or the standard streams that are open (`streams` true).
std::vector<std::string> DescriptorLines(bool streams) {
  std::vector<std::string> lines;
  for (int fd : platform::OpenHandleNumbers()) {
    if ((fd <= 2) == streams) lines.push_back(std::to_string(fd));
  }
  return lines;
}

// The exit code of run `number` of its report folder (0 when runs are not counted).
int ExitCodeOfRun(const Steering& steering, uint64_t number) {
  if (steering.exit_codes.empty() || number == 0) return steering.exit_code;
  return steering.exit_codes[static_cast<size_t>((number - 1) % steering.exit_codes.size())];
}

// settings.txt, and with VXR_REF_FD_REPORT fds.txt and streams.txt (listed by the caller before
// the folder was opened, whose descriptor is the engine's own). 0, or the exit code of the failure.
int WriteReports(platform::FolderWriter& folder, const std::vector<engine_sdk::EngineSetting>& settings,
                 const Steering& steering, const std::vector<std::string>& descriptors,
                 const std::vector<std::string>& streams) {
  std::string error;
  if (!WriteReportFile(folder, "settings.txt", SettingLines(settings), &error)) {
    return Fail(kExitReportFailed, error);
  }
  if (steering.fd_report && (!WriteReportFile(folder, "fds.txt", descriptors, &error) ||
                             !WriteReportFile(folder, "streams.txt", streams, &error))) {
    return Fail(kExitReportFailed, error);
  }
  return 0;
}

int Finish(const Steering& steering, uint64_t run_number) {
  if (!steering.signal) return ExitCodeOfRun(steering, run_number);
  std::signal(*steering.signal, SIG_DFL);
  std::raise(*steering.signal);
  return Fail(kExitSignalIgnored, "signal " + std::to_string(*steering.signal) + " did not end the process");
}

// In DUMP_PATTERNS_ONLY mode: the names of the pattern file, to patterns.txt and one message
// each to the pattern-name mailslot, whose outcome goes to `*outcomes`. 0, or the exit code of
// the failure.
int ListPatterns(const std::vector<engine_sdk::EngineSetting>& settings, platform::FolderWriter& folder,
                 const MessageSteering& messages, std::vector<std::string>* outcomes) {
  if (!DumpsPatternsOnly(settings)) return 0;
  std::string error;
  std::vector<std::string> names;
  if (!ReadPatternNames(PatternFilePath(settings), &names, &error)) {
    return Fail(kExitLoadPatternFailed, error);
  }
  if (!WriteReportFile(folder, "patterns.txt", names, &error)) {
    return Fail(kExitReportFailed, error);
  }
  std::string outcome = SendPatternNames(names, messages);
  if (!outcome.empty()) outcomes->push_back(outcome);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]).starts_with(kHelperOption)) {
    return RunAsHelper(std::string(std::string_view(argv[1]).substr(kHelperOption.size())));
  }
  std::string error;
  std::optional<Steering> steering = ReadSteering(&error);
  if (!steering) return Fail(kExitUsage, error);
  const std::optional<MessageSteering> messages = ReadMessageSteering(&error);
  if (!messages) return Fail(kExitUsage, error);
  if (steering->ignore_term) std::signal(SIGTERM, SIG_IGN);
  if (steering->join_parent_group && !platform::JoinParentProcessGroup()) {
    return Fail(kExitUsage, "cannot join the parent's process group");
  }
  LogStart(steering->start_log);
  StartHelper(steering->helper_pid_file);
  if (steering->parent_signal != 0 && !platform::SignalParent(steering->parent_signal)) {
    return Fail(kExitUsage, "cannot signal the parent");
  }
  if (steering->read_input) {
    std::string line;
    std::getline(std::cin, line);
  }
  if (!TakePlannedStep(&*steering, &error)) return Fail(kExitUsage, error);
  SleepMs(steering->sleep_ms);
  if (steering->busy_ms > 0) KeepBusy(steering->busy_ms);
  if (steering->memory_kb > 0) HoldTouchedMemory(static_cast<uint64_t>(steering->memory_kb));
  if (steering->cpu_ms > 0) UseProcessorTime(steering->cpu_ms);

  const std::span<const char* const> arguments(argv + 1, static_cast<size_t>(argc - 1));
  const std::optional<engine_sdk::BlockLocation> location = engine_sdk::FindBlockLocation(arguments, &error);
  if (!location) return Fail(kExitUsage, error + " (usage: vxr_ref /SMH=<handle> /PI=<pid>)");

  std::vector<engine_sdk::EngineSetting> settings;
  const engine_sdk::ReadStatus status = engine_sdk::ReadEngineSettings(*location, &settings, &error);
  if (status != engine_sdk::ReadStatus::kOk) {
    return Fail(ExitCodeForRead(status), "cannot read the settings block: " + error);
  }

  const std::vector<std::string> descriptors = DescriptorLines(false);
  const std::vector<std::string> streams = DescriptorLines(true);
  const std::filesystem::path folder_path = ReportFolder(settings);
  platform::Result<platform::FolderWriter> opened = platform::FolderWriter::Open(folder_path.string());
  if (!opened) return Fail(kExitReportFailed, "cannot create the report folder " + opened.error().text);
  platform::FolderWriter& folder = *opened;
  if (!folder.TryLock()) {
    return Fail(static_cast<int>(VXR_RET_INIT_EXIST_INSTANCE), "another engine is running in this report folder");
  }
  if (int failed = WriteReports(folder, settings, *steering, descriptors, streams)) return failed;
  uint64_t run_number = 0;
  if (steering->counts_runs()) {
    const std::optional<uint64_t> number = NextRunNumber(folder, folder_path, &error);
    if (!number) return Fail(kExitReportFailed, error);
    run_number = *number;
    if (steering->leak_kb > 0) HoldTouchedMemory(run_number * steering->leak_kb);
  }
  // What reached the harness's mailslots, one line per slot tried, for mailslots.txt.
  std::vector<std::string> outcomes;
  ExtraOutput extra_output(settings, *messages);
  extra_output.SendStart();
  const int listed = ListPatterns(settings, folder, *messages, &outcomes);
  extra_output.SendEnd(&outcomes);
  if (!outcomes.empty() && !WriteReportFile(folder, "mailslots.txt", outcomes, &error)) {
    return Fail(kExitReportFailed, error);
  }
  if (listed != 0) return listed;
  if (!CleanFile(steering->clean_file, folder_path))
    return Fail(kExitReportFailed, "cannot clean " + steering->clean_file);
  Say(steering->say, steering->say_lines);
  SleepMs(steering->hold_ms);
  HoldWhileExists(steering->hold_file);
  WriteOwnPeak(steering->peak_file);
  return Finish(*steering, run_number);
}
