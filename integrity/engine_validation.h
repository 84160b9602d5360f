// The checks that the library runs on an engine executable before it accepts it.
#pragma once

#include <string>
#include <string_view>

#include "vxr_lib.h"

namespace platform {
class OpenFile;
}

/// The two texts read from the engine's version information.
struct EngineVersionInfo {
  std::string version;  ///< "%d.%d" of the file version's major and minor numbers
  std::string build;    ///< "SpecialBuild" of the first translation
};

/// The appended signature first; only when the file is readable and its trailer is missing
/// or wrong, the code signature. VXR_LIB_SUCCESS or VXR_LIB_INVALID_VXREXE.
VXRResult ValidateEngineExecutable(const char* engine_path);
/// The same on the engine file held open: every check reads that open file.
VXRResult ValidateEngineFile(const platform::OpenFile& engine);

/// The platform code signature with the signer "Quillmark, Inc.": VXR_LIB_SUCCESS,
/// VXR_LIB_INVALID_PATHNAME for a null path, else VXR_LIB_INVALID_SIGNATURE.
VXRResult VerifyCodeSignature(const char* path);

/// Fills the texts the version information provides, leaves the others unchanged; always
/// VXR_LIB_SUCCESS.
VXRResult ReadEngineVersionInfo(const char* engine_path, EngineVersionInfo* info);
VXRResult ReadEngineFileVersionInfo(const platform::OpenFile& engine, EngineVersionInfo* info);

/// Reads the version information into `info` and compares the version text with "3.5" as
/// text: VXR_LIB_SUCCESS or VXR_LIB_INVALID_VXREXE.
VXRResult CheckEngineVersion(const char* engine_path, EngineVersionInfo* info);
VXRResult CheckEngineFileVersion(const platform::OpenFile& engine, EngineVersionInfo* info);

/// The textual minimum-version rule alone.
bool IsEngineVersionAccepted(std::string_view version_text);
