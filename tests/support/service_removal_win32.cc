#include "support/service_removal.h"

#include <windows.h>

bool RemoveService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), DELETE);
  bool removed = service == nullptr ? GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST : DeleteService(service) != 0;
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return removed;
}

int WaitForServiceStop(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return -1;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
  int result = -1;
  SERVICE_STATUS status{};
  // The state changes when the service reports it: look until it has (ctest bounds the test).
  while (service != nullptr && QueryServiceStatus(service, &status)) {
    if (status.dwCurrentState == SERVICE_STOPPED) {
      result = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR
                   ? static_cast<int>(status.dwServiceSpecificExitCode)
                   : static_cast<int>(status.dwWin32ExitCode);
      break;
    }
    Sleep(10);
  }
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return result;
}

namespace {

// The name the probe opens; global, as a service runs in a session of its own.
constexpr char kProbeRelease[] = "Global\\ServiceProbeRelease";

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

ServiceProbeRelease::ServiceProbeRelease()
    : event_(reinterpret_cast<std::intptr_t>(CreateEventA(nullptr, TRUE, FALSE, kProbeRelease))) {}

ServiceProbeRelease::~ServiceProbeRelease() {
  if (event_ == 0) return;
  Release();
  CloseHandle(AsHandle(event_));
}

void ServiceProbeRelease::Release() const { SetEvent(AsHandle(event_)); }
