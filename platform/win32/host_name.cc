#include "platform/host_name.h"

#include "platform/win32/handle.h"

namespace platform {

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length) || length == 0) return "localhost";
  return win32::Narrow(std::wstring_view(name, length));
}

}  // namespace platform
