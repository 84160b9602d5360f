// Counters through PDH: the design's paths are known, rates need two collections, statistics
// come over a ring of raw samples, and a counter the system lacks reads as no data.
#include "platform/counter_query.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "support/wine.h"

namespace {

using platform::CounterQuery;
using platform::CounterStatistics;
using platform::CounterStatus;
using platform::CounterValue;
using platform::RawCounterSample;

std::unique_ptr<CounterQuery> OpenQuery() {
  std::unique_ptr<CounterQuery> query = CounterQuery::Open();
  EXPECT_NE(query, nullptr) << "PDH.DLL could not be loaded";
  return query;
}

TEST(WindowsCounterQueryTest, OnlyTheDesignsPathsAreKnown) {
  std::unique_ptr<CounterQuery> query = OpenQuery();
  ASSERT_NE(query, nullptr);
  for (const char* path : {platform::kProcessorTimePath, platform::kCommittedInUsePath, platform::kIoBytesPath,
                           platform::kIoOperationsPath, platform::kCommittedBytesPath}) {
    EXPECT_GE(query->AddCounter(path), 0) << path;
  }
  EXPECT_EQ(query->AddCounter("\\Processor(_Total)\\% Idle Time"), -1);
  EXPECT_EQ(query->AddCounter(""), -1);
}

TEST(WindowsCounterQueryTest, ProcessorTimeIsARateOfTwoCollections) {
  std::unique_ptr<CounterQuery> query = OpenQuery();
  ASSERT_NE(query, nullptr);
  const int32_t handle = query->AddCounter(platform::kProcessorTimePath);
  CounterValue value;
  ASSERT_TRUE(query->GetValue(handle, &value));
  EXPECT_EQ(value.status, CounterStatus::kNoData);
  ASSERT_TRUE(query->Collect());
  ASSERT_TRUE(query->GetValue(handle, &value));
  EXPECT_NE(value.status, CounterStatus::kValid);  // one reading is no rate yet
  std::array<RawCounterSample, 4> ring;
  ASSERT_TRUE(query->GetRawValue(handle, &ring[0]));
  EXPECT_EQ(ring[0].status, CounterStatus::kValid);
  for (size_t i = 1; i < ring.size(); ++i) {
    ASSERT_TRUE(query->Collect());
    ASSERT_TRUE(query->GetRawValue(handle, &ring[i]));
  }
  ASSERT_TRUE(query->GetValue(handle, &value));
  ASSERT_EQ(value.status, CounterStatus::kValid);
  EXPECT_GE(value.value, 0);
  EXPECT_LE(value.value, 100);
  CounterStatistics statistics;
  ASSERT_TRUE(query->ComputeStatistics(handle, 0, 4, ring, &statistics));
  ASSERT_EQ(statistics.mean.status, CounterStatus::kValid);
  EXPECT_LE(statistics.min.value, statistics.mean.value);
  EXPECT_LE(statistics.mean.value, statistics.max.value);
  EXPECT_FALSE(query->ComputeStatistics(handle, 0, 5, ring, &statistics));
  EXPECT_FALSE(query->ComputeStatistics(handle, 4, 1, ring, &statistics));
  EXPECT_FALSE(query->ComputeStatistics(handle + 1, 0, 1, ring, &statistics));
}

TEST(WindowsCounterQueryTest, CommittedBytesAreValidFromTheFirstCollection) {
  SKIP_UNDER_WINE("PDH has no memory counters");
  std::unique_ptr<CounterQuery> query = OpenQuery();
  ASSERT_NE(query, nullptr);
  const int32_t handle = query->AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query->Collect());
  CounterValue value;
  ASSERT_TRUE(query->GetValue(handle, &value));
  EXPECT_EQ(value.status, CounterStatus::kValid);
  EXPECT_GT(value.value, 0);
}

// Wine lacks every counter but the processor's: such a counter keeps its handle and reads as a
// source that cannot be read, so the report shows "n/a" for it and the rest still works.
TEST(WindowsCounterQueryTest, ACounterTheSystemLacksReadsAsNoData) {
  if (!RunningUnderWine()) GTEST_SKIP() << "every counter exists on Windows itself";
  std::unique_ptr<CounterQuery> query = OpenQuery();
  ASSERT_NE(query, nullptr);
  const int32_t missing = query->AddCounter(platform::kCommittedBytesPath);
  ASSERT_GE(missing, 0);
  EXPECT_FALSE(query->Collect());  // no source it needs can be read
  const int32_t processor = query->AddCounter(platform::kProcessorTimePath);
  EXPECT_TRUE(query->Collect());
  RawCounterSample sample;
  ASSERT_TRUE(query->GetRawValue(missing, &sample));
  EXPECT_EQ(sample.status, CounterStatus::kNoData);
  CounterValue value;
  ASSERT_TRUE(query->GetValue(missing, &value));
  EXPECT_EQ(value.status, CounterStatus::kNoData);
  std::array<RawCounterSample, 1> ring{sample};
  CounterStatistics statistics;
  ASSERT_TRUE(query->ComputeStatistics(missing, 0, 1, ring, &statistics));
  EXPECT_EQ(statistics.mean.status, CounterStatus::kInvalidData);
  ASSERT_TRUE(query->GetRawValue(processor, &sample));
  EXPECT_EQ(sample.status, CounterStatus::kValid);
}

TEST(WindowsCounterQueryTest, ARemovedCounterIsGone) {
  std::unique_ptr<CounterQuery> query = OpenQuery();
  ASSERT_NE(query, nullptr);
  const int32_t handle = query->AddCounter(platform::kProcessorTimePath);
  EXPECT_TRUE(query->RemoveCounter(handle));
  EXPECT_FALSE(query->RemoveCounter(handle));
  CounterValue value;
  EXPECT_FALSE(query->GetValue(handle, &value));
  EXPECT_FALSE(query->Collect());  // no counter left
}

}  // namespace
