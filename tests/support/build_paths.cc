#include "support/build_paths.h"

#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::filesystem::path RunningProgram() {
#ifdef _WIN32
  std::wstring buffer(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) throw std::runtime_error("cannot tell the running program's path");
  buffer.resize(length);
  return std::filesystem::path(buffer);
#else
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot tell the running program's path: " + error.message());
  return self;
#endif
}

}  // namespace

std::filesystem::path BuildBinDir() {
  static const std::filesystem::path bin = RunningProgram().parent_path();
  return bin;
}

std::filesystem::path BuildEngineDir() { return BuildBinDir().parent_path() / "engine"; }

std::string ExecutableName(std::string_view name) {
#ifdef _WIN32
  return std::string(name) + ".exe";
#else
  return std::string(name);
#endif
}

std::string BuiltProgram(std::string_view name) { return (BuildBinDir() / ExecutableName(name)).string(); }
