#include "support/engine_file.h"

#include <vector>

#include "support/program_runner.h"

bool MakeEngineFile(const std::filesystem::path& path, const EngineFileOptions& options) {
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
