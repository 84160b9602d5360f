// Engine files for library tests: a small executable copied into a test folder and given
// version information and the development signature by the real vxrtool.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

struct EngineFileOptions {
  std::string file_version = "3.5.0.1";
  std::string special_build = "Build 1024";
  bool sign = true;
};

/// Writes the engine file at `path`; false when vxrtool failed.
inline bool MakeEngineFile(const std::filesystem::path& path,
                           const EngineFileOptions& options = {}) {
  std::filesystem::copy_file("/bin/true", path, std::filesystem::copy_options::overwrite_existing);
  const std::string vxrtool = TESTKVE_BIN_DIR "/vxrtool";
  const std::string file = "'" + path.string() + "'";
  std::string version = vxrtool + " version set --file-version " + options.file_version;
  if (!options.special_build.empty()) version += " --special-build '" + options.special_build + "'";
  if (std::system((version + " " + file + " >/dev/null").c_str()) != 0) return false;
  if (!options.sign) return true;
  const std::string sign = vxrtool + " sign --key " TESTKVE_SOURCE_DIR
                           "/tools/keys/dev_signing_key.pem " + file + " >/dev/null";
  return std::system(sign.c_str()) == 0;
}
