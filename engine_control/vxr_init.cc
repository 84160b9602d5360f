// VXRInitLib, VXRQuitLib, VXRVerifySignature and VXRDescribeEngine: the library's lifetime
// and the engine checks.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "engine_control/engine_verdict.h"
#include "engine_control/library.h"
#include "engine_control/verdict_results.h"
#include "integrity/appended_signature.h"
#include "integrity/engine_validation.h"
#include "integrity/file_digest.h"
#include "platform/folder_entry.h"
#include "vxr_lib.h"

namespace {

constexpr std::string_view kDefaultEngineName = "VXR.EXE";
constexpr std::string_view kConfigName = "VXR.INI";

struct EnginePaths {
  std::string engine;
  std::string config;
};

// Builds the engine and configuration paths: the folder and one "/" (always added, even
// after a final "/"), then the name.
VXRResult BuildEnginePaths(const char* engine_dir, const char* engine_name, EnginePaths* paths) {
  if (engine_dir == nullptr || std::strlen(engine_dir) > kPathFieldSize) {
    return VXR_LIB_INVALID_PARAMETER;
  }
  const std::string prefix = std::string(engine_dir) + "/";
  const std::string_view name = engine_name != nullptr ? engine_name : kDefaultEngineName;
  if (name.size() > kPathFieldSize || name.starts_with(' ')) return VXR_LIB_INVALID_PARAMETER;
  if (prefix.size() + name.size() > kPathFieldSize) return VXR_LIB_INVALID_PARAMETER;
  if (prefix.size() + kConfigName.size() > kPathFieldSize) return VXR_LIB_INVALID_PARAMETER;
  paths->engine = prefix + std::string(name);
  paths->config = prefix + std::string(kConfigName);
  return VXR_LIB_SUCCESS;
}

// The paths VXRInitLib works with: built and checked, then each resolved the way the engine
// folder matches names, ignoring case ("VXR.EXE" finds vxr.exe when no VXR.EXE is there).
VXRResult FindEnginePaths(const char* engine_dir, const char* engine_name, EnginePaths* paths) {
  VXRResult result = BuildEnginePaths(engine_dir, engine_name, paths);
  if (result != VXR_LIB_SUCCESS) return result;
  paths->engine = platform::ResolveEntryIgnoringCase(paths->engine);
  paths->config = platform::ResolveEntryIgnoringCase(paths->config);
  return VXR_LIB_SUCCESS;
}

// Copies `text` into `field`, cut so that it always fits with its terminator.
template <size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace

VXRResult VXRInitLib(const char* engineDir, const char* engineExeName) {
  Library& library = TheLibrary();
  if (library.initialised) return VXR_LIB_ALREADY_INIT;
  EnginePaths paths;
  VXRResult result = FindEnginePaths(engineDir, engineExeName, &paths);
  if (result != VXR_LIB_SUCCESS) return result;
  // Opened once: the checks read this open file, and every execute runs it.
  platform::OpenFile engine = platform::OpenFile::Open(paths.engine.c_str());
  platform::FileIdentity identity;
  if (!engine.Identity(&identity)) return VXR_LIB_INVALID_VXREXE;
  const EngineVerdict verdict = library.verdicts.Judge(engine, identity);
  if (verdict.validation != IntegrityVerdict::kValid) return VXR_LIB_INVALID_VXREXE;
  // Built aside and installed only at the end, so any failure leaves the library untouched.
  auto state = std::make_unique<LibraryState>();
  auto config = std::make_unique<ConfigFile>(state.get());
  state->set_engine_dir(engineDir);
  state->set_engine_path(paths.engine);
  state->set_config_path(paths.config);
  if (verdict.version != IntegrityVerdict::kValid) return VXR_LIB_INVALID_VXREXE;
  state->set_engine_version(verdict.info.version);
  state->set_engine_build(verdict.info.build);
  if (!config->Read()) return VXR_LIB_FAIL_READ_INI;
  library.state = std::move(state);
  library.config = std::move(config);
  library.engine_file = std::move(engine);
  library.engine_identity = identity;
  library.initialised = true;
  return VXR_LIB_SUCCESS;
}

VXRResult VXRQuitLib() {
  Library* library = InitialisedLibrary();
  if (library == nullptr) return VXR_LIB_NOT_INIT;
  library->config.reset();
  library->state.reset();
  library->engine_file = platform::OpenFile();
  library->initialised = false;
  return VXR_LIB_SUCCESS;
}

VXRResult VXRVerifySignature(const char* filePath) {
  const Library& library = TheLibrary();
  if (filePath == nullptr) {
    if (library.state == nullptr) return VXR_LIB_INVALID_PATHNAME;
    filePath = library.state->engine_path().c_str();
  }
  return SignatureVerdictToResult(VerifyAppendedSignature(filePath));
}

VXRResult VXRDescribeEngine(const char* engineDir, const char* engineExeName, VXREngineFacts* facts) {
  if (facts == nullptr) return VXR_LIB_INVALID_PARAMETER;
  *facts = VXREngineFacts{};
  EnginePaths paths;
  VXRResult result = FindEnginePaths(engineDir, engineExeName, &paths);
  if (result != VXR_LIB_SUCCESS) return result;
  // One open: the version and the digest describe the same file, even one replaced meanwhile.
  const platform::OpenFile engine = platform::OpenFile::Open(paths.engine.c_str());
  if (!engine.is_open()) return VXR_LIB_NOT_EXIST;
  EngineVersionInfo info;
  ReadEngineFileVersionInfo(engine, &info);
  std::string sha256;
  FileSha256Hex(engine, &sha256);
  CopyToField(facts->version, info.version);
  CopyToField(facts->build, info.build);
  CopyToField(facts->sha256, sha256);
  return VXR_LIB_SUCCESS;
}
