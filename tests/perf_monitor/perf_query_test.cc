// PerfQuery over fixture /proc trees: ids, the value of each collection, the ring of raw
// samples and its invariants, and statistics over the ring.
#include "perf_monitor/perf_query.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/counter_query.h"
#include "platform/posix/proc_root.h"
#include "support/proc_tree.h"

namespace {

// The real query with a count of every call made through it.
class CountingQuery : public platform::CounterQuery {
 public:
  CountingQuery(std::unique_ptr<CounterQuery> real, int* calls) : real_(std::move(real)), calls_(calls) {}
  int32_t AddCounter(std::string_view path) override { return ++*calls_, real_->AddCounter(path); }
  bool RemoveCounter(int32_t handle) override { return ++*calls_, real_->RemoveCounter(handle); }
  bool Collect() override { return ++*calls_, real_->Collect(); }
  bool GetValue(int32_t handle, platform::CounterValue* value) const override {
    return ++*calls_, real_->GetValue(handle, value);
  }
  bool GetRawValue(int32_t handle, platform::RawCounterSample* sample) const override {
    return ++*calls_, real_->GetRawValue(handle, sample);
  }
  bool ComputeStatistics(int32_t handle, int32_t first, int32_t count, std::span<const platform::RawCounterSample> ring,
                         platform::CounterStatistics* statistics) const override {
    return ++*calls_, real_->ComputeStatistics(handle, first, count, ring, statistics);
  }

 private:
  std::unique_ptr<CounterQuery> real_;
  int* calls_;
};

// A fixture tree with every source present, and a query over it that counts its calls.
struct Fixture {
  Fixture() {
    tree.SetStat("cpu  100 0 100 800 0 0 0 0");
    tree.SetMeminfo(1000, 4000);
    tree.SetProcessIo(10, 100, 100, 1, 1);
  }
  PerfQuery Query() {
    return PerfQuery([this] {
      return std::make_unique<CountingQuery>(platform::OpenCounterQueryAt(tree.str(), SteppingClock{}), &calls);
    });
  }
  ProcTree tree;
  int calls = 0;
};

TEST(PerfQueryTest, IdsCountSuccessfulAddsOnly) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  EXPECT_EQ(-1, query.AddCounter(platform::kProcessorTimePath)) << "before Init";
  ASSERT_TRUE(query.Init());
  const struct {
    const char* path;
    int32_t id;
  } adds[] = {
      {platform::kProcessorTimePath, 0},
      {"\\Memory\\Pages/sec", -1},
      {platform::kCommittedInUsePath, 1},
      {platform::kIoBytesPath, 2},
      {"", -1},
      {nullptr, -1},
      {platform::kIoOperationsPath, 3},
      {platform::kCommittedBytesPath, 4},
  };
  for (const auto& add : adds) {
    SCOPED_TRACE(add.path ? add.path : "(null)");
    EXPECT_EQ(add.id, query.AddCounter(add.path));
  }
}

TEST(PerfQueryTest, InitFailsOnARootWithoutStat) {
  ProcTree empty;
  PerfQuery query([&] { return platform::OpenCounterQueryAt(empty.str()); });
  EXPECT_FALSE(query.Init());
  EXPECT_EQ(-1, query.AddCounter(platform::kCommittedBytesPath));
  EXPECT_FALSE(query.Collect());
  EXPECT_EQ(kNoCounterValue, query.GetValue(0));
}

TEST(PerfQueryTest, ARateHasNoValueAndNoSampleAfterTheFirstCollection) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t cpu = query.AddCounter(platform::kProcessorTimePath);
  const int32_t committed = query.AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(kNoCounterValue, query.GetValue(cpu));
  EXPECT_EQ(0, query.FindCounter(cpu)->sample_count);
  EXPECT_EQ(0, query.FindCounter(cpu)->value);
  EXPECT_EQ(1024000, query.GetValue(committed)) << "not a rate: valid at once";
  EXPECT_EQ(1, query.FindCounter(committed)->sample_count);

  fixture.tree.SetStat("cpu  130 0 100 870 0 0 0 0");
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(30, query.GetValue(cpu));
  const PerfCounter& counter = *query.FindCounter(cpu);
  EXPECT_EQ(1, counter.sample_count);
  EXPECT_EQ(1, counter.next_slot);
  EXPECT_EQ(230, counter.ring[0].first_value);
}

TEST(PerfQueryTest, TheRingKeepsTheLastTwentySamples) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t id = query.AddCounter(platform::kCommittedBytesPath);
  const struct {
    int reads;
    int32_t first_slot, next_slot, sample_count;
  } steps[] = {{1, 0, 1, 1}, {19, 0, 19, 19}, {20, 0, 0, 20}, {21, 1, 1, 20}, {45, 5, 5, 20}};
  int done = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.reads);
    for (; done < step.reads; ++done) {
      fixture.tree.SetMeminfo(done + 1, 4000);  // read n gives n kB
      ASSERT_TRUE(query.Collect());
      ASSERT_EQ((done + 1) * 1024, query.GetValue(id));
    }
    const PerfCounter& counter = *query.FindCounter(id);
    EXPECT_EQ(step.first_slot, counter.first_slot);
    EXPECT_EQ(step.next_slot, counter.next_slot);
    EXPECT_EQ(step.sample_count, counter.sample_count);
    if (step.reads == 21) {
      EXPECT_EQ(21 * 1024, counter.ring[0].first_value) << "slot 0 overwritten";
    }
  }
  // The window is reads 26 to 45.
  int64_t minimum = 0, maximum = 0, mean = 0;
  ASSERT_TRUE(query.GetStatistics(&minimum, &maximum, &mean, id));
  EXPECT_EQ(26 * 1024, minimum);
  EXPECT_EQ(45 * 1024, maximum);
  EXPECT_EQ(35 * 1024 + 512, mean);
}

TEST(PerfQueryTest, StatisticsOfARateOverItsWindow) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t cpu = query.AddCounter(platform::kProcessorTimePath);
  int64_t minimum = -1, maximum = -1, mean = -1;
  ASSERT_TRUE(query.GetStatistics(&minimum, &maximum, &mean, cpu));
  EXPECT_EQ(0, minimum) << "no value yet reads as 0";
  // Busy ticks per 100 ticks: 20, 60, 10 after the first collection.
  for (const char* line : {"cpu  100 0 0 0", "cpu  120 0 0 80", "cpu  180 0 0 120", "cpu  190 0 0 210"}) {
    fixture.tree.SetStat(line);
    ASSERT_TRUE(query.Collect());
    query.GetValue(cpu);
  }
  ASSERT_TRUE(query.GetStatistics(&minimum, &maximum, &mean, cpu));
  EXPECT_EQ(60, maximum);
  EXPECT_EQ(10, minimum) << "the ring's first sample gives no value of its own";
  EXPECT_EQ(35, mean);
  int64_t untouched = 77;
  EXPECT_FALSE(query.GetStatistics(&untouched, &untouched, &untouched, 9));
  EXPECT_EQ(77, untouched);
}

TEST(PerfQueryTest, AnUnknownIdGivesNoValueWithoutAskingTheQuery) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t id = query.AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query.Collect());
  const int calls = fixture.calls;
  for (int32_t unknown : {-1, 1, 5, 1000}) {
    EXPECT_EQ(kNoCounterValue, query.GetValue(unknown)) << unknown;
    EXPECT_FALSE(query.RemoveCounter(unknown));
  }
  EXPECT_EQ(calls, fixture.calls);
  EXPECT_EQ(0, query.FindCounter(id)->sample_count);
}

TEST(PerfQueryTest, ARemovedCounterKeepsItsIdAndReadsNothing) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t first = query.AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query.RemoveCounter(first));
  EXPECT_EQ(1, query.AddCounter(platform::kCommittedBytesPath)) << "ids are never reused";
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(kNoCounterValue, query.GetValue(first));
  EXPECT_EQ(1024000, query.GetValue(1));
  query.Close();
  EXPECT_EQ(nullptr, query.FindCounter(1));
}

TEST(PerfQueryTest, IoOfProcessesThatEndOrCannotBeReadBetweenCollections) {
  Fixture fixture;
  PerfQuery query = fixture.Query();
  ASSERT_TRUE(query.Init());
  const int32_t bytes = query.AddCounter(platform::kIoBytesPath);
  const int32_t operations = query.AddCounter(platform::kIoOperationsPath);
  fixture.tree.SetProcessIo(11, 1000, 0, 10, 0);
  fixture.tree.SetProcessIo(12, 1000, 0, 10, 0);
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(kNoCounterValue, query.GetValue(bytes));
  // 10 reads 300 bytes in 3 calls more; 11 ends; 12 becomes unreadable.
  fixture.tree.SetProcessIo(10, 400, 100, 4, 1);
  fixture.tree.RemoveProcess(11);
  fixture.tree.MakeIoUnreadable(12);
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(300, query.GetValue(bytes));
  EXPECT_EQ(3, query.GetValue(operations));
  // 12 readable again with more: counted from zero, as a process first seen.
  fixture.tree.SetProcessIo(12, 1500, 0, 12, 0);
  ASSERT_TRUE(query.Collect());
  EXPECT_EQ(1500, query.GetValue(bytes));
  EXPECT_EQ(12, query.GetValue(operations));
}

}  // namespace
