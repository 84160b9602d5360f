// The service record's format on every system: every field kept, and every damaged record
// refused with the caller's parameters left alone.
#include "platform/service_record.h"

#include <gtest/gtest.h>

#include <string>

#include "service_parameters_fixture.h"
#include "support/damaged_copies.h"

namespace {

using platform::ServiceParameters;

TEST(ServiceRecordTest, KeepsEveryParameter) {
  for (const ServiceParameters& p : {FullParameters(), ServiceParameters{.name = "a", .program_path = "/b"}}) {
    ServiceParameters read;
    ASSERT_TRUE(platform::ParseServiceRecord(platform::FormatServiceRecord(p), &read));
    ExpectSame(p, read);
  }
}

TEST(ServiceRecordTest, RefusesEveryTruncationAndEveryChangedByte) {
  const std::string record = platform::FormatServiceRecord(FullParameters());
  ServiceParameters untouched{.name = "untouched"};
  for (const auto& cut : CutCopies(record))
    EXPECT_FALSE(platform::ParseServiceRecord(cut.bytes, &untouched)) << cut.what;
  for (const auto& damaged : FlippedCopies(record, {0x01}))
    EXPECT_FALSE(platform::ParseServiceRecord(damaged.bytes, &untouched)) << damaged.what;
  EXPECT_FALSE(platform::ParseServiceRecord(record + record, &untouched));
  EXPECT_EQ("untouched", untouched.name);
}

}  // namespace
