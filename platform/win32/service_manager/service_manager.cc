#include "platform/service_manager.h"

#include <windows.h>
// The manager's own members share these names; the calls below name the W functions.
#undef OpenService
#undef CreateService

#include <chrono>
#include <cstddef>
#include <cwchar>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/path.h"
#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"
#include "platform/win32/service_manager/write_access.h"

namespace platform {
namespace {

struct CloseService {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CloseService>;

// How long a start waits for the database that another registration holds (Wine holds it
// for a moment right after one), and how often it tries in that time.
constexpr auto kLockedDatabaseWait = std::chrono::seconds(5);
constexpr auto kLockedDatabaseRetry = std::chrono::milliseconds(250);

// The failure `code` of a call, with a sentence naming what failed.
Error Failed(DWORD code, const std::string& what) { return Win32Failure(what, code); }
Error Failed(const std::string& what) { return Failed(GetLastError(), what); }

ServiceHandle OpenManager(DWORD access) { return ServiceHandle(OpenSCManagerW(nullptr, nullptr, access)); }

ServiceHandle OpenNamed(SC_HANDLE manager, const std::string& name, DWORD access) {
  return ServiceHandle(manager != nullptr ? OpenServiceW(manager, win32::Widen(name).c_str(), access) : nullptr);
}

// The SCM starts the first program that a path with a blank could name ("C:\my" for
// "C:\my folder\TestSrv.exe"), so such a path is registered quoted, and read back unquoted.
std::string QuotedWhenBlank(const std::string& path) {
  return path.find(' ') == std::string::npos || path.front() == '"' ? path : '"' + path + '"';
}
std::string Unquoted(std::string path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  return path;
}

std::string Text(const wchar_t* value) { return value != nullptr ? win32::Narrow(value) : std::string(); }

// The service's configuration as the SCM keeps it.
bool ReadConfiguration(SC_HANDLE service, ServiceParameters* parameters) {
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  // QUERY_SERVICE_CONFIGW holds pointers, so the buffer is aligned for them.
  std::vector<std::max_align_t> buffer(needed / sizeof(std::max_align_t) + 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size() * sizeof(std::max_align_t)), &needed)) {
    return false;
  }
  parameters->service_type = config->dwServiceType;
  parameters->start_type = config->dwStartType;
  parameters->error_control = config->dwErrorControl;
  parameters->program_path = Unquoted(Text(config->lpBinaryPathName));
  parameters->load_order_group = Text(config->lpLoadOrderGroup);
  parameters->wants_tag = config->dwTagId != 0;
  parameters->account = Text(config->lpServiceStartName);
  parameters->display_name = Text(config->lpDisplayName);
  for (const wchar_t* name = config->lpDependencies; name != nullptr && *name != L'\0'; name += wcslen(name) + 1) {
    parameters->dependencies.push_back(win32::Narrow(name));
  }
  return true;
}

// The dependencies as the SCM takes them: each name ended by a NUL, and one more NUL at the end.
std::wstring DependencyList(const std::vector<std::string>& names) {
  std::wstring list;
  for (const std::string& name : names) list.append(win32::Widen(name)).push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

// Text for a W call: null for an empty optional text.
struct WideText {
  explicit WideText(const std::string& text) : empty(text.empty()), wide(win32::Widen(text)) {}
  const wchar_t* get() const { return empty ? nullptr : wide.c_str(); }
  bool empty;
  std::wstring wide;
};

// StartServiceW, tried again while another registration holds the service database.
bool StartTrying(SC_HANDLE service, std::vector<const wchar_t*>& argv, DWORD* failure) {
  const auto give_up = std::chrono::steady_clock::now() + kLockedDatabaseWait;
  for (;;) {
    if (StartServiceW(service, static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data())) return true;
    *failure = GetLastError();
    if (*failure != ERROR_SERVICE_DATABASE_LOCKED || std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(kLockedDatabaseRetry);
  }
}

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
  ServiceHandle service = OpenNamed(manager.get(), name, SERVICE_ALL_ACCESS);
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
  const std::wstring dependencies = DependencyList(parameters.dependencies);
  const std::wstring name = win32::Widen(parameters.name);
  const std::wstring program = win32::Widen(QuotedWhenBlank(parameters.program_path));
  const WideText display(parameters.display_name), group(parameters.load_order_group), account(parameters.account),
      password(parameters.password);
  ServiceHandle service(CreateServiceW(manager.get(), name.c_str(), display.get(), parameters.desired_access,
                                       parameters.service_type, parameters.start_type, parameters.error_control,
                                       program.c_str(), group.get(), parameters.wants_tag ? &tag : nullptr,
                                       parameters.dependencies.empty() ? nullptr : dependencies.c_str(), account.get(),
                                       password.get()));
  if (!service) {
    *error = Failed("cannot create the service " + parameters.name);  // 1073: it exists
    return nullptr;
  }
  return std::make_unique<Service>(folder_, parameters);
}

// A service runs as LocalSystem: the program, what it runs and their folder must be changeable
// by no one who is not already as strong.
bool ServiceManager::CheckProgramTrust(const std::string& program_path, const std::vector<std::string>& companions,
                                       Error* error) const {
  const std::string folder = win32::FolderOf(program_path);
  std::vector<std::string> checked = {folder, program_path};
  for (const std::string& companion : companions) {
    const std::string path = folder + "\\" + companion;
    // A missing one cannot be checked, and its folder, checked above, decides who may add it.
    if (GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) checked.push_back(path);
  }
  for (const std::string& path : checked) {
    std::string why;
    if (!win32::OnlyTrustedMayChange(path, &why)) {
      *error = ErrorFromWin32(ERROR_ACCESS_DENIED, "the service would run as LocalSystem, but " + why);
      return false;
    }
  }
  return true;
}

// The SCM keeps each service's record in the registry.
std::string ServiceManager::RecordPath(const std::string& name) const {
  return "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + name;
}

// The service program writes its log beside itself: beside the program the service is
// registered with, and /SERVICE registers the program of the current folder.
std::string ServiceManager::LogPath(const std::string& name) const {
  Error ignored;
  if (const std::unique_ptr<Service> service = OpenService(name, &ignored)) {
    return win32::FolderOf(service->parameters().program_path) + "\\" + name + ".log";
  }
  return AbsolutePath(name + ".log").value_or(name + ".log");
}

bool Service::Start(const std::vector<std::string>& arguments, Error* error) const {
  const std::string& name = parameters_.name;
  ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) {
    *error = Failed("cannot open the service control manager");
    return false;
  }
  ServiceHandle service = OpenNamed(manager.get(), name, SERVICE_START);
  if (!service) {
    *error = Failed("cannot open the service " + name);
    return false;
  }
  std::vector<std::wstring> wide;
  for (const std::string& argument : arguments) wide.push_back(win32::Widen(argument));
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : wide) argv.push_back(argument.c_str());
  DWORD failure = 0;
  if (!StartTrying(service.get(), argv, &failure)) {
    *error = Failed(failure, failure == ERROR_SERVICE_ALREADY_RUNNING ? "the service " + name + " is already running"
                                                                      : "cannot start the service " + name);
    return false;
  }
  return true;
}

}  // namespace platform
