#include "engine_control/verdict_results.h"

#include "integrity/appended_signature.h"

VXRResult VerdictToResult(IntegrityVerdict verdict) {
  switch (verdict) {
    case IntegrityVerdict::kValid:
      return VXR_LIB_SUCCESS;
    case IntegrityVerdict::kInvalid:
      return VXR_LIB_INVALID_SIGNATURE;
    case IntegrityVerdict::kUnreadable:
      return VXR_LIB_INVALID_PATHNAME;
  }
  return VXR_LIB_INVALID_PATHNAME;
}

VXRResult SignatureVerdictToResult(int verdict) { return VerdictToResult(AppendedSignatureVerdict(verdict)); }
