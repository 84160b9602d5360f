// VXRExecute, VXRExecuteWithLimit, VXRExecuteCapturing and VXRQueryVirusName: the operations
// that use the engine and its pattern file.
#include <array>
#include <cstring>
#include <string>

#include "engine_control/engine_launch.h"
#include "engine_control/engine_verdict.h"
#include "engine_control/library.h"
#include "engine_control/value_rules.h"
#include "pattern_reader/virus_names.h"
#include "vxr_lib.h"

namespace {

// One setting read into its own 260-byte buffer; missing or too long, it stays empty.
std::string ContextText(const ScanContext& context, uint32_t id) {
  std::array<char, kPathFieldSize> buffer{};
  uint32_t size = static_cast<uint32_t>(buffer.size());
  if (context.GetString(id, buffer.data(), &size) != VXR_LIB_SUCCESS) return {};
  return buffer.data();
}

// The context's pattern folder and file name joined with "/"; empty when the joined path
// would not fit the 260-byte field, so that it is refused rather than cut.
std::string ContextPatternPath(const ScanContext& context) {
  std::string path = ContextText(context, VXR_STR_PATTERN_DIR) + "/" + ContextText(context, VXR_STR_PATTERN_FILENAME);
  return path.size() < kPathFieldSize ? path : std::string();
}

VXRResult LookupToResult(NameLookup lookup) {
  switch (lookup) {
    case NameLookup::kFound:
      return VXR_LIB_SUCCESS;
    case NameLookup::kNotFound:
      return VXR_LIB_NOT_EXIST_VIRUSNA;
    case NameLookup::kBadArgument:
      return VXR_LIB_INVALID_PARAMETER;
    case NameLookup::kUnreadable:
      return VXR_LIB_PTN_OPEN_FAIL;
    default:
      return static_cast<VXRResult>(lookup);
  }
}

}  // namespace

VXRResult VXRExecute(VXR_HANDLE sc, uint32_t dwMode) { return VXRExecuteWithLimit(sc, dwMode, 0, nullptr); }

VXRResult VXRExecuteWithLimit(VXR_HANDLE sc, uint32_t dwMode, uint32_t dwLimitMs, VXRRunUsage* usage) {
  return VXRExecuteCapturing(sc, dwMode, dwLimitMs, usage, nullptr);
}

VXRResult VXRExecuteCapturing(VXR_HANDLE sc, uint32_t dwMode, uint32_t dwLimitMs, VXRRunUsage* usage,
                              VXREngineOutput* output) {
  if (usage != nullptr) *usage = {};
  if (output != nullptr) {
    // Empty until a run fills them, whatever ends the call.
    output->output.length = output->error.length = 0;
    output->output.total = output->error.total = 0;
  }
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  if (!ExecuteModeAccepted(dwMode)) return VXR_LIB_INVALID_PARAMETER;
  Library& library = *entry.library;
  ScanContext* context = entry.context;
  // The records stay with the context until the next run rebuilds them or it is released.
  if (!context->RebuildRecords()) return VXR_LIB_FAIL;
  // The open file that was checked runs; changed since (written, or only its mode or times),
  // it runs only when it passes the checks again as it is now.
  platform::FileIdentity now;
  if (!library.engine_file.Identity(&now)) return VXR_LIB_EXECUTE_FAIL;
  if (now != library.engine_identity) {
    const EngineVerdict verdict = library.verdicts.Judge(library.engine_file, now);
    if (verdict.validation != IntegrityVerdict::kValid || verdict.version != IntegrityVerdict::kValid) {
      return VXR_LIB_EXECUTE_FAIL;
    }
    library.engine_identity = now;
  }
  return LaunchEngine(context->engine_path().c_str(), library.engine_file, context->records(), context->records_size(),
                      dwMode, dwLimitMs, usage, output);
}

VXRResult VXRQueryVirusName(VXR_HANDLE sc, const char* patternPath, const char* virusName) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  const ScanContext* context = entry.context;
  if (virusName == nullptr || std::strlen(virusName) > kPathFieldSize) {
    return VXR_LIB_INVALID_PARAMETER;
  }
  if (patternPath != nullptr && std::strlen(patternPath) > kPathFieldSize) {
    return VXR_LIB_INVALID_PARAMETER;
  }
  const std::string path =
      patternPath != nullptr && *patternPath != '\0' ? std::string(patternPath) : ContextPatternPath(*context);
  if (path.empty()) return VXR_LIB_INVALID_PARAMETER;
  return LookupToResult(LookupVirusName(path.c_str(), virusName));
}
