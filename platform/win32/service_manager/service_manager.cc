#include "platform/service_manager.h"

#include <windows.h>
// The manager's own members share these names; the calls below name the A functions.
#undef OpenService
#undef CreateService

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/win32/handle.h"

namespace platform {
namespace {

struct CloseService {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CloseService>;

ErrorKind KindOf(DWORD code) {
  switch (code) {
    case ERROR_SERVICE_EXISTS:
      return ErrorKind::kExists;
    case ERROR_SERVICE_DOES_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
      return ErrorKind::kDenied;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return ErrorKind::kInvalid;
    case ERROR_SERVICE_ALREADY_RUNNING:
      return ErrorKind::kBusy;
    default:
      return ErrorKind::kOther;
  }
}

// The failure `code` of a call, with a sentence naming what failed.
Error Failed(DWORD code, const std::string& what) {
  return {KindOf(code), static_cast<int>(code), what + ": " + win32::ErrorText(code)};
}
Error Failed(const std::string& what) { return Failed(GetLastError(), what); }

ServiceHandle OpenManager(DWORD access) { return ServiceHandle(OpenSCManagerA(nullptr, nullptr, access)); }

// The SCM starts the first program that a path with a blank could name ("C:\my" for
// "C:\my folder\TestSrv.exe"), so such a path is registered quoted, and read back unquoted.
std::string QuotedWhenBlank(const std::string& path) {
  return path.find(' ') == std::string::npos || path.front() == '"' ? path : '"' + path + '"';
}
std::string Unquoted(std::string path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  return path;
}

// The service's configuration as the SCM keeps it.
bool ReadConfiguration(SC_HANDLE service, ServiceParameters* parameters) {
  DWORD needed = 0;
  QueryServiceConfigA(service, nullptr, 0, &needed);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  // QUERY_SERVICE_CONFIGA holds pointers, so the buffer is aligned for them.
  std::vector<std::max_align_t> buffer(needed / sizeof(std::max_align_t) + 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size() * sizeof(std::max_align_t)), &needed)) {
    return false;
  }
  auto text = [](const char* value) { return std::string(value != nullptr ? value : ""); };
  parameters->service_type = config->dwServiceType;
  parameters->start_type = config->dwStartType;
  parameters->error_control = config->dwErrorControl;
  parameters->program_path = Unquoted(text(config->lpBinaryPathName));
  parameters->load_order_group = text(config->lpLoadOrderGroup);
  parameters->wants_tag = config->dwTagId != 0;
  parameters->account = text(config->lpServiceStartName);
  parameters->display_name = text(config->lpDisplayName);
  for (const char* name = config->lpDependencies; name != nullptr && *name != '\0'; name += strlen(name) + 1) {
    parameters->dependencies.emplace_back(name);
  }
  return true;
}

// The dependencies as the SCM takes them: each name ended by a NUL, and one more NUL at the end.
std::string DependencyList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list.append(name).push_back('\0');
  list.push_back('\0');
  return list;
}

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

// On Windows the services are the service control manager's; there is no folder of records.
std::string ServiceDatabaseFolder() { return {}; }

std::unique_ptr<ServiceManager> ServiceManager::Open(const std::string& folder, Error* error) {
  ServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    *error = Failed("cannot open the service control manager");
    return nullptr;
  }
  return std::make_unique<ServiceManager>(folder);
}

// Any failure to open only means that the service is to be created, so it reads as "no such
// service"; a manager that cannot create it says why then.
std::unique_ptr<Service> ServiceManager::OpenService(const std::string& name, Error* error) const {
  ServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  ServiceHandle service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS) : nullptr);
  ServiceParameters parameters{.name = name};
  if (!service || !ReadConfiguration(service.get(), &parameters)) {
    *error = Failed("cannot open the service " + name);
    error->kind = ErrorKind::kNotFound;
    return nullptr;
  }
  parameters.desired_access = SERVICE_ALL_ACCESS;
  return std::make_unique<Service>(folder_, std::move(parameters));
}

std::unique_ptr<Service> ServiceManager::CreateService(const ServiceParameters& parameters, Error* error) const {
  ServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    *error = Failed("cannot open the service control manager");
    return nullptr;
  }
  DWORD tag = 0;
  const std::string dependencies = DependencyList(parameters.dependencies);
  const std::string program = QuotedWhenBlank(parameters.program_path);
  ServiceHandle service(CreateServiceA(manager.get(), parameters.name.c_str(), OrNull(parameters.display_name),
                                       parameters.desired_access, parameters.service_type, parameters.start_type,
                                       parameters.error_control, program.c_str(), OrNull(parameters.load_order_group),
                                       parameters.wants_tag ? &tag : nullptr,
                                       parameters.dependencies.empty() ? nullptr : dependencies.c_str(),
                                       OrNull(parameters.account), OrNull(parameters.password)));
  if (!service) {
    *error = Failed("cannot create the service " + parameters.name);  // 1073: it exists
    return nullptr;
  }
  return std::make_unique<Service>(folder_, parameters);
}

// The SCM keeps each service's record in the registry.
std::string ServiceManager::RecordPath(const std::string& name) const {
  return "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + name;
}

// The service program writes its log beside itself, and /SERVICE registers the program of the
// current folder.
std::string ServiceManager::LogPath(const std::string& name) const {
  std::error_code ignored;
  return (std::filesystem::current_path(ignored) / (name + ".log")).string();
}

bool Service::Start(const std::vector<std::string>& arguments, Error* error) const {
  const std::string& name = parameters_.name;
  ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) {
    *error = Failed("cannot open the service control manager");
    return false;
  }
  ServiceHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_START));
  if (!service) {
    *error = Failed("cannot open the service " + name);
    return false;
  }
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  if (!StartServiceA(service.get(), static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data())) {
    const DWORD failure = GetLastError();
    *error = Failed(failure, failure == ERROR_SERVICE_ALREADY_RUNNING ? "the service " + name + " is already running"
                                                                      : "cannot start the service " + name);
    return false;
  }
  return true;
}

}  // namespace platform
