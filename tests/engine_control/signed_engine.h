// Engine files for library tests: a small executable copied into a test folder and given
// version information and the development signature by the real vxrtool.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.h"

struct EngineFileOptions {
  std::string file_version = "3.5.0.1";
  std::string special_build = "Build 1024";
  bool sign = true;
};

/// Writes the engine file at `path`; false when vxrtool failed.
inline bool MakeEngineFile(const std::filesystem::path& path, const EngineFileOptions& options = {}) {
  std::filesystem::copy_file("/bin/true", path, std::filesystem::copy_options::overwrite_existing);
  const std::string vxrtool = BuiltProgram("vxrtool");
  std::vector<std::string> version = {"version", "set", "--file-version", options.file_version};
  if (!options.special_build.empty()) {
    version.insert(version.end(), {"--special-build", options.special_build});
  }
  version.push_back(path.string());
  if (RunProgram(vxrtool, version).exit_code != 0) return false;
  if (!options.sign) return true;
  const std::vector<std::string> sign = {"sign", "--key", TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key.pem",
                                         path.string()};
  return RunProgram(vxrtool, sign).exit_code == 0;
}
