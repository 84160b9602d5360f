// VXRExecute and VXRQueryVirusName: the operations that use the engine and its pattern file.
#include <cstring>

#include "engine_control/engine_launch.h"
#include "engine_control/engine_verdict.h"
#include "engine_control/library.h"
#include "engine_control/value_rules.h"
#include "vxr_lib.h"

VXRResult VXRExecute(VXR_HANDLE sc, uint32_t dwMode) {
  Library& library = TheLibrary();
  if (!library.initialised) return VXR_LIB_NOT_INIT;
  if (!ExecuteModeAccepted(dwMode)) return VXR_LIB_INVALID_PARAMETER;
  ScanContext* context = library.handles.Find(sc);
  if (context == nullptr) return VXR_LIB_INVALID_PARAMETER;
  // The records stay with the context until the next run rebuilds them or it is released.
  if (!context->RebuildRecords()) return VXR_LIB_FAIL;
  // The open file that was checked runs; changed since (written, or only its mode or times),
  // it runs only when it passes the checks again as it is now.
  platform::FileIdentity now;
  if (!library.engine_file.Identity(&now)) return VXR_LIB_EXECUTE_FAIL;
  if (now != library.engine_identity) {
    const EngineVerdict verdict = JudgeEngineFile(library.engine_file, now);
    if (verdict.validation != VXR_LIB_SUCCESS || verdict.version != VXR_LIB_SUCCESS) {
      return VXR_LIB_EXECUTE_FAIL;
    }
    library.engine_identity = now;
  }
  return LaunchEngine(context->engine_path().c_str(), library.engine_file, context->records(),
                      context->records_size(), dwMode);
}

VXRResult VXRQueryVirusName(VXR_HANDLE sc, const char* patternPath, const char* virusName) {
  Library& library = TheLibrary();
  if (!library.initialised) return VXR_LIB_NOT_INIT;
  if (library.handles.Find(sc) == nullptr) return VXR_LIB_INVALID_PARAMETER;
  if (virusName == nullptr || std::strlen(virusName) > kMaxPathChars) {
    return VXR_LIB_INVALID_PARAMETER;
  }
  if (patternPath != nullptr && std::strlen(patternPath) > kMaxPathChars) {
    return VXR_LIB_INVALID_PARAMETER;
  }
  // The name search through the pattern records comes with the pattern reader.
  return VXR_LIB_NOT_SUPPORT_NOW;
}
