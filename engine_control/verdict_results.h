// The library's result codes for the verdicts of the integrity checks.
#pragma once

#include "integrity/integrity_verdict.h"
#include "vxr_result.h"

/// kValid -> VXR_LIB_SUCCESS, kInvalid -> VXR_LIB_INVALID_SIGNATURE,
/// kUnreadable -> VXR_LIB_INVALID_PATHNAME.
VXRResult VerdictToResult(IntegrityVerdict verdict);

/// The same for the appended signature's numeric verdict: 1 -> VXR_LIB_SUCCESS,
/// 0 -> VXR_LIB_INVALID_SIGNATURE, -1 -> VXR_LIB_INVALID_PATHNAME.
VXRResult SignatureVerdictToResult(int verdict);
