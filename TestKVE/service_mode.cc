#include "TestKVE/service_mode.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/process_command_line.h"
#include "command_text/service_arguments.h"
#include "platform/path.h"
#include "platform/process_arguments.h"
#include "platform/service_manager.h"

namespace {

constexpr char kServiceName[] = "TestSrv";
constexpr char kProgramName[] = "TestKVE.exe";
// The folder, program path, command and argument copies are 260-byte fields.
constexpr size_t kMaxCopyLength = 259;

// The service as /SERVICE creates it: started on demand, its own process, normal error
// handling, no group, tag or dependencies, no account (so it runs as whoever starts it).
platform::ServiceParameters TestSrvParameters(const std::string& program_path) {
  platform::ServiceParameters parameters;
  parameters.name = kServiceName;
  parameters.display_name = kServiceName;
  parameters.desired_access = 0xF01FF;  // SERVICE_ALL_ACCESS
  parameters.service_type = 0x10;       // SERVICE_WIN32_OWN_PROCESS
  parameters.start_type = 3;            // SERVICE_DEMAND_START
  parameters.error_control = 1;         // SERVICE_ERROR_NORMAL
  parameters.program_path = program_path;
  return parameters;
}

// The command-line text as the harness scanned it, and the length of the program's path at
// its front.
bool ReadCommandLine(std::string* command, size_t* program_length, platform::Error* error) {
  std::vector<std::string> arguments;
  if (!platform::ReadProcessArguments(&arguments, error)) return false;
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  ProcessLine line;
  if (CarryFailure failure; !ReadProcessLine(static_cast<int>(argv.size()), argv.data(), &line, &failure)) {
    *error = {platform::ErrorKind::kOther, 0, failure.reason};
    return false;
  }
  *command = std::move(line.text);
  *program_length = line.program_length;
  return true;
}

// A cut copy would start the service with other options than those given, or another
// program: refuse instead.
bool FitsTheCopies(const std::string& program_path, const std::string& command) {
  if (program_path.size() > kMaxCopyLength) {
    std::printf(
        "Service not started: the current folder is too long for the service program "
        "path %s (%zu characters, at most %zu)\n",
        program_path.c_str(), program_path.size(), kMaxCopyLength);
    return false;
  }
  if (command.size() > kMaxCopyLength) {
    std::printf(
        "Service not started: the command line is too long to hand on (%zu characters, "
        "at most %zu)\n",
        command.size(), kMaxCopyLength);
    return false;
  }
  return true;
}

void PrintRefusal(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "TestKVE: %s\n", why.c_str());
}

// A registered service runs the program it was registered with, wherever /SERVICE runs later.
void WarnOfOtherProgram(const platform::ServiceManager& manager, const platform::Service& service,
                        const std::string& program_path) {
  const std::string& registered = service.parameters().program_path;
  if (registered == program_path) return;
  std::fprintf(stderr,
               "TestKVE: warning: the service %s runs %s, not %s; remove %s to register it from this "
               "folder\n",
               kServiceName, registered.c_str(), program_path.c_str(), manager.RecordPath(kServiceName).c_str());
}

// Registers the service when needed and starts it; false when it could not be started, after
// the line that says why.
bool StartTestService() {
  platform::Error error;
  std::unique_ptr<platform::ServiceManager> manager =
      platform::ServiceManager::Open(platform::ServiceDatabaseFolder(), &error);
  if (!manager) {
    std::printf("Open SCManager failed (%d)\n", error.code);
    PrintRefusal(error.text);
    return false;
  }
  std::unique_ptr<platform::Service> service = manager->OpenService(kServiceName, &error);
  if (!service && error.kind != platform::ErrorKind::kNotFound) {
    // Creating it anew would fail too; a damaged or untrusted record is never used.
    std::printf("Service record %s cannot be used (%d): remove it to register the service again\n",
                manager->RecordPath(kServiceName).c_str(), error.code);
    PrintRefusal(error.text);
    return false;
  }
  int folder_error = 0;
  const std::optional<std::string> current = CurrentDirectory(&folder_error);
  if (!current) {
    std::printf("GetModuleFileName failed (%d)\n", folder_error);
    return false;
  }
  const std::string& folder = *current;
  std::string program_path = folder + "/TestSrv.exe";
  std::string command;
  size_t program_length = 0;
  if (platform::Error read_error; !ReadCommandLine(&command, &program_length, &read_error)) {
    std::printf("GetCommandLine failed (%d)\n", read_error.code);
    return false;
  }
  if (!FitsTheCopies(program_path, command)) return false;
  // The program the service runs: the registered one, or the one about to be registered. One
  // that others could change is never registered or started.
  platform::Error refusal;
  const bool trusted =
      manager->CheckProgramTrust(service ? service->parameters().program_path : program_path, {kProgramName}, &refusal);
  if (!service && trusted) {
    service = manager->CreateService(TestSrvParameters(program_path), &error);
    if (!service) {
      std::printf("CreateService failed (%d)\n", error.code);
      return false;
    }
  }
  if (service) WarnOfOtherProgram(*manager, *service, program_path);
  std::printf("original sCmd is %s\n", command.c_str());
  ServiceArguments arguments = RewriteServiceArguments(command, program_length);
  if (arguments.program_quoted) std::printf("have \"\n");
  std::printf("Argument to launch service: %s\n", arguments.options.c_str());
  const bool started = trusted && service->Start({folder, kProgramName, arguments.options}, &error);
  std::printf(started ? "Service start.\n" : "Start sevice fail\n");
  if (!started) std::fprintf(stderr, "TestKVE: %s\n", (trusted ? error : refusal).text.c_str());
  // The service runs detached: its output, and its harness's exit status, are in its log.
  if (started)
    std::fprintf(stderr, "testkve: the service's output goes to %s\n", manager->LogPath(kServiceName).c_str());
  return started;
}

}  // namespace

bool RunServiceMode() {
  std::printf("Run Service MODE\n");
  return StartTestService();
}
