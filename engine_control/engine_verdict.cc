#include "engine_control/engine_verdict.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// A harness runs one engine, or a few under /QA and the other names; bounded all the same.
constexpr size_t kMaxRemembered = 16;

bool ReuseAllowed() {
  const char* off = std::getenv("TESTKVE_NO_VERDICT_REUSE");
  return off == nullptr || std::strcmp(off, "1") != 0;
}

EngineVerdict Check(const platform::OpenFile& engine) {
  EngineVerdict verdict;
  verdict.validation = ValidateEngineFile(engine);
  // The version is read only from an accepted file, as at initialisation.
  if (verdict.validation == IntegrityVerdict::kValid) {
    verdict.version = CheckEngineFileVersion(engine, &verdict.info);
  }
  return verdict;
}

}  // namespace

VerdictCache::VerdictCache() : reuse_allowed_(ReuseAllowed()) {}

EngineVerdict VerdictCache::Judge(const platform::OpenFile& engine, const platform::FileIdentity& identity) {
  if (reuse_allowed_) {
    for (const Remembered& remembered : verdicts_) {
      if (remembered.identity == identity) return remembered.verdict;
    }
  }
  EngineVerdict verdict = Check(engine);
  // A file changed while it was read must not lend its verdict to the version it became.
  platform::FileIdentity after;
  if (!engine.Identity(&after) || after != identity) return verdict;
  if (verdicts_.size() == kMaxRemembered) verdicts_.erase(verdicts_.begin());
  verdicts_.push_back({identity, verdict});
  return verdict;
}
