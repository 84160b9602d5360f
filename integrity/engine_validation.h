// The checks that the library runs on an engine executable before it accepts it.
#pragma once

#include <string>
#include <string_view>

#include "integrity/integrity_verdict.h"

namespace platform {
class OpenFile;
}

/// The two texts read from the engine's version information.
struct EngineVersionInfo {
  std::string version;  ///< "%d.%d" of the file version's major and minor numbers
  std::string build;    ///< "SpecialBuild" of the first translation
};

/// The appended signature first; only when the file is readable and its trailer is missing
/// or wrong, the code signature. kValid (accepted) or kInvalid (refused).
IntegrityVerdict ValidateEngineExecutable(const char* engine_path);
/// The same on the engine file held open: every check reads that open file.
IntegrityVerdict ValidateEngineFile(const platform::OpenFile& engine);

/// The platform code signature with the signer "Quillmark, Inc.": kValid, kUnreadable for a
/// null path, else kInvalid.
IntegrityVerdict VerifyCodeSignature(const char* path);

/// Fills the texts the version information provides and leaves the others unchanged; a file
/// without version information changes nothing.
void ReadEngineVersionInfo(const char* engine_path, EngineVersionInfo* info);
void ReadEngineFileVersionInfo(const platform::OpenFile& engine, EngineVersionInfo* info);

/// Reads the version information into `info` and compares the version text with "3.5" as
/// text: kValid (accepted) or kInvalid (refused).
IntegrityVerdict CheckEngineVersion(const char* engine_path, EngineVersionInfo* info);
IntegrityVerdict CheckEngineFileVersion(const platform::OpenFile& engine, EngineVersionInfo* info);

/// The textual minimum-version rule alone.
bool IsEngineVersionAccepted(std::string_view version_text);
