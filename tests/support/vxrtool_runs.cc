#include "support/vxrtool_runs.h"

#include <cstdlib>
#include <filesystem>

ProgramRun RunVxrtool(const std::vector<std::string>& args) { return RunProgram(BuiltProgram("vxrtool"), args); }

bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string CopyOfTrue(const TempFolder& folder, const std::string& name) {
  std::filesystem::path path = folder.path() / name;
  std::filesystem::copy_file("/bin/true", path);
  return path.string();
}
