// The library's judgement of an engine file (signature, code signature, version), taken from
// the open file, and reused within the process while that file is provably the same.
#pragma once

#include "integrity/engine_validation.h"
#include "platform/open_file.h"

/// What the checks of VXRInitLib concluded about one version of an engine file.
struct EngineVerdict {
  IntegrityVerdict validation = IntegrityVerdict::kInvalid;  ///< ValidateEngineFile's verdict
  IntegrityVerdict version = IntegrityVerdict::kInvalid;     ///< CheckEngineFileVersion's verdict
  EngineVersionInfo info;                                    ///< the texts the version check read
};

/// Runs the checks on the open `engine`, whose identity is `identity`, or returns the verdict
/// of an earlier check in this process of a file with the same device, inode, size and
/// modification and change times (the environment variable TESTKVE_NO_VERDICT_REUSE=1 turns
/// the reuse off, for measuring it). The checks read only the open file, never its path.
EngineVerdict JudgeEngineFile(const platform::OpenFile& engine, const platform::FileIdentity& identity);
