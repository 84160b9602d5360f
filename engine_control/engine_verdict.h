// The library's judgement of an engine file (signature, code signature, version), taken from
// the open file, and reused while that file is provably the same.
#pragma once

#include <vector>

#include "integrity/engine_validation.h"
#include "platform/open_file.h"

/// What the checks of VXRInitLib concluded about one version of an engine file.
struct EngineVerdict {
  IntegrityVerdict validation = IntegrityVerdict::kInvalid;  ///< ValidateEngineFile's verdict
  IntegrityVerdict version = IntegrityVerdict::kInvalid;     ///< CheckEngineFileVersion's verdict
  EngineVersionInfo info;                                    ///< the texts the version check read
};

/// The verdicts of the engine files judged so far, by file identity.
class VerdictCache {
 public:
  /// Reuse is on unless the environment variable TESTKVE_NO_VERDICT_REUSE is 1 (for measuring
  /// it); the variable is read here, once.
  VerdictCache();

  /// Runs the checks on the open `engine`, whose identity is `identity`, or returns the verdict
  /// of an earlier check of a file with the same device, inode, size and modification and
  /// change times. The checks read only the open file, never its path.
  EngineVerdict Judge(const platform::OpenFile& engine, const platform::FileIdentity& identity);

 private:
  struct Remembered {
    platform::FileIdentity identity;
    EngineVerdict verdict;
  };

  bool reuse_allowed_;
  std::vector<Remembered> verdicts_;
};
