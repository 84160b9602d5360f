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
