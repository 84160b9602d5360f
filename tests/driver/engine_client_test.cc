// The traced client's execute with a time limit: traced like every other call, its failure
// named, its cost handed back.
#include "TestKVE/engine_client.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EngineClientTest, ExecuteWithLimitIsTracedAndItsFailureNamed) {
  EngineClient client;
  client.set_debug(1);
  VXRRunUsage usage{1, 2, 3, 4, 5, 6, 7, 1};
  testing::internal::CaptureStdout();
  EXPECT_EQ(VXR_LIB_NOT_INIT, client.VXRExecuteWithLimit(0, 5000, &usage));
  EXPECT_EQ(
      "Launch KVE program\n"
      ">>> VXRExecuteWithLimit(SC = 0, dwMode = 0, dwLimitMs = 5000)\n"
      "<<< VXRExecuteWithLimit() : rc = -2147483629, timed out = 0, wall us = 0, "
      "peak KiB = 0\n"
      "Error Code: VXR_LIB_NOT_INIT\n",
      testing::internal::GetCapturedStdout());
  EXPECT_EQ(0u, usage.timedOut + usage.wallUs + usage.peakRssKiB + usage.contained);

  // Without tracing only the launch notice and the failure show.
  client.set_debug(0);
  testing::internal::CaptureStdout();
  client.VXRExecuteWithLimit(0, 5000, nullptr);
  EXPECT_EQ("Launch KVE program\nError Code: VXR_LIB_NOT_INIT\n", testing::internal::GetCapturedStdout());
}

}  // namespace
