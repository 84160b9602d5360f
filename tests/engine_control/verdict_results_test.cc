#include "engine_control/verdict_results.h"

#include <gtest/gtest.h>

TEST(VerdictResultsTest, IntegrityVerdictsBecomeLibraryCodes) {
  EXPECT_EQ(VerdictToResult(IntegrityVerdict::kValid), VXR_LIB_SUCCESS);
  EXPECT_EQ(VerdictToResult(IntegrityVerdict::kInvalid), VXR_LIB_INVALID_SIGNATURE);
  EXPECT_EQ(VerdictToResult(IntegrityVerdict::kUnreadable), VXR_LIB_INVALID_PATHNAME);
  EXPECT_EQ(SignatureVerdictToResult(1), VXR_LIB_SUCCESS);
  EXPECT_EQ(SignatureVerdictToResult(0), VXR_LIB_INVALID_SIGNATURE);
  EXPECT_EQ(SignatureVerdictToResult(-1), VXR_LIB_INVALID_PATHNAME);
}
