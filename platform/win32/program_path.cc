#include "platform/program_path.h"

#include "platform/win32/handle.h"

namespace platform {

std::optional<std::string> RunningProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    // A full buffer holds a cut path: try again with more room.
    if (length < buffer.size()) {
      buffer.resize(length);
      return win32::Narrow(buffer);
    }
    if (buffer.size() >= 32768) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
