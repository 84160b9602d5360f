// Engine files for library tests: a small executable copied into a test folder and given
// version information and the development signature, as an engine maker's tools would.
#pragma once

#include <filesystem>
#include <string>

struct EngineFileOptions {
  std::string file_version = "3.5.0.1";
  std::string special_build = "Build 1024";
  bool sign = true;
};

/// Writes the engine file at `path` (in place of any file there); false when it could not be
/// made. On Linux the real vxrtool writes the version note and signs; on Windows the version
/// resource is written with UpdateResource and the signature with the development key.
bool MakeEngineFile(const std::filesystem::path& path, const EngineFileOptions& options = {});
