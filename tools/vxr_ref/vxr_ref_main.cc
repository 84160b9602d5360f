// vxr_ref: the reference engine. It takes the settings block that the harness names on its
// command line, writes every setting it received to <report folder>/settings.txt and ends as
// its environment tells it to (see steering.h). It prints nothing unless something fails.
// Like a real engine it runs once per report folder at a time: a second instance exits with
// VXR_RET_INIT_EXIST_INSTANCE while the first holds the folder's lock.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_sdk/engine_settings.h"
#include "platform/process.h"
#include "tools/vxr_ref/settings_report.h"
#include "tools/vxr_ref/steering.h"
#include "vxr_lib.h"

namespace {

// Each failure has its own exit code, so a harness test can tell them apart.
constexpr int kExitUsage = 64;           // bad command line or steering variable
constexpr int kExitCannotAttach = 65;    // the block could not be reached or mapped
constexpr int kExitBadBlock = 66;        // bad header or checksum
constexpr int kExitBadRecords = 67;      // a record does not fit the block or its kind
constexpr int kExitReportFailed = 68;    // the report folder or a file could not be written
constexpr int kExitSignalIgnored = 69;   // VXR_REF_SIGNAL did not end the process

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
  std::error_code ignored;
  const auto size = std::filesystem::file_size("/proc/self/exe", ignored);
  std::ofstream(log, std::ios::app) << platform::CurrentProcessId() << ' ' << size << '\n';
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
  for (int fd : platform::OpenDescriptors()) {
    if ((fd <= 2) == streams) lines.push_back(std::to_string(fd));
  }
  return lines;
}

int WriteReports(const std::vector<engine_sdk::EngineSetting>& settings,
                 const Steering& steering) {
  std::string error;
  // Listed before the folder is opened, whose descriptor is the engine's own.
  const std::vector<std::string> descriptors = DescriptorLines(false);
  const std::vector<std::string> streams = DescriptorLines(true);
  platform::FolderWriter folder = platform::FolderWriter::Open(ReportFolder(settings), &error);
  if (!folder.is_open()) return Fail(kExitReportFailed, "cannot create the report folder " + error);
  if (!folder.TryLock()) {
    return Fail(static_cast<int>(VXR_RET_INIT_EXIST_INSTANCE),
                "another engine is running in this report folder");
  }
  if (!WriteReportFile(folder, "settings.txt", SettingLines(settings), &error)) {
    return Fail(kExitReportFailed, error);
  }
  if (steering.fd_report &&
      (!WriteReportFile(folder, "fds.txt", descriptors, &error) ||
       !WriteReportFile(folder, "streams.txt", streams, &error))) {
    return Fail(kExitReportFailed, error);
  }
  SleepMs(steering.hold_ms);
  return 0;
}

int Finish(const Steering& steering) {
  if (!steering.signal) return steering.exit_code;
  std::signal(*steering.signal, SIG_DFL);
  std::raise(*steering.signal);
  return Fail(kExitSignalIgnored,
              "signal " + std::to_string(*steering.signal) + " did not end the process");
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<Steering> steering = ReadSteering(&error);
  if (!steering) return Fail(kExitUsage, error);
  LogStart(steering->start_log);
  if (!TakePlannedStep(&*steering, &error)) return Fail(kExitUsage, error);
  SleepMs(steering->sleep_ms);
  if (steering->busy_ms > 0) KeepBusy(steering->busy_ms);

  const std::span<const char* const> arguments(argv + 1, static_cast<size_t>(argc - 1));
  const std::optional<engine_sdk::BlockLocation> location =
      engine_sdk::FindBlockLocation(arguments, &error);
  if (!location) return Fail(kExitUsage, error + " (usage: vxr_ref /SMH=<handle> /PI=<pid>)");

  std::vector<engine_sdk::EngineSetting> settings;
  const engine_sdk::ReadStatus status =
      engine_sdk::ReadEngineSettings(*location, &settings, &error);
  if (status != engine_sdk::ReadStatus::kOk) {
    return Fail(ExitCodeForRead(status), "cannot read the settings block: " + error);
  }
  if (int failed = WriteReports(settings, *steering)) return failed;
  return Finish(*steering);
}
