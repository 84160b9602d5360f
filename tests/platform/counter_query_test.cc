// The counter query over fixture /proc trees: which paths it knows, the status and value of
// every counter across collections, and statistics over a window of raw samples.
#include "platform/counter_query.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/posix/proc_root.h"
#include "platform/posix/process_io_totals.h"
#include "support/proc_tree.h"
#include "support/text.h"

namespace {

using platform::CounterQuery;
using platform::CounterStatistics;
using platform::CounterStatus;
using platform::CounterValue;
using platform::RawCounterSample;

constexpr CounterStatus kValid = CounterStatus::kValid;
constexpr CounterStatus kInvalid = CounterStatus::kInvalidData;
constexpr CounterStatus kNoData = CounterStatus::kNoData;

std::unique_ptr<CounterQuery> OpenFixture(const ProcTree& tree) {
  return platform::OpenCounterQueryAt(tree.str(), SteppingClock{});
}

TEST(CounterQueryTest, OpensOnlyARootWithAStatFile) {
  ProcTree tree;
  EXPECT_EQ(nullptr, platform::OpenCounterQueryAt(tree.str())) << "no stat";
  EXPECT_EQ(nullptr, platform::OpenCounterQueryAt((tree.path() / "missing").string()));
  std::filesystem::create_directory(tree.path() / "stat");
  EXPECT_EQ(nullptr, platform::OpenCounterQueryAt(tree.str())) << "stat is a folder";
  std::filesystem::remove(tree.path() / "stat");
  tree.SetStat("cpu  1 2 3 4");
  EXPECT_NE(nullptr, platform::OpenCounterQueryAt(tree.str()));
}

TEST(CounterQueryTest, KnowsTheFivePathsAndNoOther) {
  ProcTree tree;
  tree.SetStat("cpu  1 2 3 4");
  auto query = OpenFixture(tree);
  ASSERT_NE(nullptr, query);
  EXPECT_FALSE(query->Collect()) << "a query without counters collects nothing";
  for (const char* path : {platform::kProcessorTimePath, platform::kCommittedInUsePath, platform::kIoBytesPath,
                           platform::kIoOperationsPath, platform::kCommittedBytesPath}) {
    EXPECT_GE(query->AddCounter(path), 0) << path;
  }
  for (const char* path :
       {"", "\\Memory\\Available Bytes", "\\Processor(0)\\% Processor Time", "\\memory\\committed bytes"}) {
    EXPECT_EQ(-1, query->AddCounter(path)) << path;
  }
}

// One collection: what to change in the tree first, then the expected value of the counter.
struct Step {
  std::function<void(const ProcTree&)> change;
  CounterStatus status;
  int64_t value;
};

struct SequenceCase {
  const char* name;
  const char* path;
  std::vector<Step> steps;
};

auto Stat(const char* line) {
  return [=](const ProcTree& tree) { tree.SetStat(line); };
}
auto Meminfo(int64_t committed_kb, int64_t limit_kb) {
  return [=](const ProcTree& tree) { tree.SetMeminfo(committed_kb, limit_kb); };
}
const auto kUnchanged = [](const ProcTree&) {};

// pid 10 and 20 run; then 10 does 1000 bytes in 4 operations more, 20 ends, 30 starts with 500
// bytes in 2 operations, and 40's figures cannot be read.
const auto kFirstProcesses = [](const ProcTree& tree) {
  tree.SetProcessIo(10, 300, 200, 7, 3);
  tree.SetProcessIo(20, 5000, 0, 50, 0);
};
const auto kNextProcesses = [](const ProcTree& tree) {
  tree.SetProcessIo(10, 1100, 400, 9, 5);
  tree.RemoveProcess(20);
  tree.SetProcessIo(30, 500, 0, 1, 1);
  tree.MakeIoUnreadable(40);
};

const SequenceCase kSequences[] = {
    {"processor time is a rate of busy over total ticks",
     platform::kProcessorTimePath,
     {{Stat("cpu  100 0 100 800 0 0 0 0 0 0"), kInvalid, 0},
      {Stat("cpu  150 0 150 850 0 0 0 0 0 0"), kValid, 67},
      {Stat("cpu  150 0 150 850 0 0 0 0 0 0"), kInvalid, 0},   // no tick passed
      {Stat("cpu  160 0 150 860 10 5 5 0 0 0"), kValid, 50},   // irq and softirq are busy
      {Stat("cpu  100 0 150 900 10 5 5 0 0 0"), kInvalid, 0},  // busy went back
      {Stat("cpu  200 0 150 900 10 5 5 0 0 0"), kValid, 100}}},
    {"processor time of an old kernel with four figures",
     platform::kProcessorTimePath,
     {{Stat("cpu 10 0 10 80"), kInvalid, 0}, {Stat("cpu 20 0 20 160"), kValid, 20}}},
    {"a stat without its cpu line has no data",
     platform::kProcessorTimePath,
     {{Stat("cpu  1 1 1 1"), kInvalid, 0},
      {Stat("intr 5"), kNoData, 0},
      {Stat("cpu  2 1 1 2"), kInvalid, 0},
      {Stat("cpu  4 1 1 4"), kValid, 50}}},
    {"committed bytes are valid from the first collection and 64-bit",
     platform::kCommittedBytesPath,
     {{Meminfo(250, 1000), kValid, 256000},
      {Meminfo(3145728, 8388608), kValid, 3221225472},
      {[](const ProcTree& tree) { tree.SetMeminfoText("MemTotal: 5 kB\nCommitLimit: 9 kB\n"); }, kNoData, 0},
      {[](const ProcTree& tree) { std::filesystem::remove(tree.path() / "meminfo"); }, kNoData, 0}}},
    {"committed in use is committed over the commit limit",
     platform::kCommittedInUsePath,
     {{Meminfo(250, 1000), kValid, 25},
      {Meminfo(1500, 1000), kValid, 150},  // heuristic overcommit goes past the limit
      {Meminfo(5, 0), kInvalid, 0}}},
    {"I/O bytes per process between collections",
     platform::kIoBytesPath,
     {{kFirstProcesses, kInvalid, 0},
      {kNextProcesses, kValid, 1000 + 500},
      {kUnchanged, kValid, 0},
      // 10's figures went back: a new process under the old number counts from zero.
      {[](const ProcTree& tree) { tree.SetProcessIo(10, 100, 0, 1, 0); }, kValid, 100}}},
    {"I/O operations per process between collections",
     platform::kIoOperationsPath,
     {{kFirstProcesses, kInvalid, 0}, {kNextProcesses, kValid, 4 + 2}}},
    // Figures whose sum or product passes 64 bits are no reading, never a wrapped one.
    {"processor ticks that sum past 64 bits",
     platform::kProcessorTimePath,
     {{Stat("cpu  9223372036854775000 0 9223372036854775000 1"), kNoData, 0},
      {Stat("cpu  10 0 10 80"), kInvalid, 0},
      {Stat("cpu  1 0 1 9223372036854775807 9223372036854775807"), kNoData, 0},
      {Stat("cpu  99999999999999999999 0 1 1"), kNoData, 0}}},
    {"committed kilobytes that pass 64 bits as bytes",
     platform::kCommittedBytesPath,
     {{Meminfo(9007199254740993, 9007199254740993), kNoData, 0}, {Meminfo(250, 1000), kValid, 256000}}},
    {"a commit limit that passes 64 bits as bytes",
     platform::kCommittedInUsePath,
     {{Meminfo(250, 9223372036854775807), kNoData, 0}, {Meminfo(250, 1000), kValid, 25}}},
    {"I/O figures of one process that sum past 64 bits",
     platform::kIoBytesPath,
     // The process is left out like one whose figures cannot be read.
     {{[](const ProcTree& tree) { tree.SetProcessIo(10, 9223372036854775807, 1, 1, 1); }, kInvalid, 0},
      {[](const ProcTree& tree) { tree.SetProcessIo(10, 50, 0, 1, 1); }, kValid, 50}}},
    {"I/O totals of two processes that sum past 64 bits",
     platform::kIoBytesPath,
     {{[](const ProcTree& tree) {
         tree.SetProcessIo(10, 9223372036854775000, 0, 1, 1);
         tree.SetProcessIo(20, 9223372036854775000, 0, 1, 1);
       },
       kNoData, 0},
      {[](const ProcTree& tree) {
         tree.RemoveProcess(10);
         tree.RemoveProcess(20);
         tree.SetProcessIo(30, 100, 0, 1, 1);
       },
       kInvalid, 0},
      {[](const ProcTree& tree) { tree.SetProcessIo(30, 300, 0, 1, 1); }, kValid, 200}}},
};

TEST(CounterQueryTest, ValuesAndStatusesAcrossCollections) {
  for (const SequenceCase& sequence : kSequences) {
    SCOPED_TRACE(sequence.name);
    ProcTree tree;
    tree.SetStat("cpu  0 0 0 0");
    auto query = OpenFixture(tree);
    ASSERT_NE(nullptr, query);
    const int32_t handle = query->AddCounter(sequence.path);
    CounterValue before;
    ASSERT_TRUE(query->GetValue(handle, &before));
    EXPECT_EQ(kNoData, before.status) << "nothing collected yet";
    for (size_t i = 0; i < sequence.steps.size(); ++i) {
      SCOPED_TRACE("collection " + std::to_string(i + 1));
      const Step& step = sequence.steps[i];
      step.change(tree);
      query->Collect();
      CounterValue value;
      ASSERT_TRUE(query->GetValue(handle, &value));
      EXPECT_EQ(step.status, value.status);
      if (step.status == kValid) {
        EXPECT_EQ(step.value, value.value);
      }
    }
  }
}

TEST(CounterQueryTest, RawSamplesKeepTheirFiguresAndTimeStamps) {
  ProcTree tree;
  tree.SetStat("cpu  100 0 100 800 0 0 0 0");
  tree.SetMeminfo(250, 1000);
  auto query = OpenFixture(tree);
  const int32_t cpu = query->AddCounter(platform::kProcessorTimePath);
  const int32_t committed = query->AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query->Collect());
  ASSERT_TRUE(query->Collect());
  RawCounterSample sample;
  ASSERT_TRUE(query->GetRawValue(cpu, &sample));
  EXPECT_EQ(kValid, sample.status);
  EXPECT_EQ(2'000'000'000, sample.time_stamp_ns);
  EXPECT_EQ(200, sample.first_value);
  EXPECT_EQ(1000, sample.second_value);
  ASSERT_TRUE(query->GetRawValue(committed, &sample));
  EXPECT_EQ(256000, sample.first_value);
}

TEST(CounterQueryTest, ACollectionFailsOnlyWhenNoSourceCanBeRead) {
  ProcTree tree;
  tree.SetStat("cpu  1 1 1 1");
  auto query = OpenFixture(tree);
  const int32_t cpu = query->AddCounter(platform::kProcessorTimePath);
  const int32_t bytes = query->AddCounter(platform::kIoBytesPath);
  tree.MakeIoUnreadable(7);
  EXPECT_TRUE(query->Collect()) << "an unreadable process is left out";
  std::filesystem::remove(tree.path() / "stat");
  EXPECT_TRUE(query->Collect()) << "the process listing still reads";
  EXPECT_TRUE(query->RemoveCounter(bytes));
  EXPECT_FALSE(query->Collect()) << "stat is gone and nothing else is asked for";
  CounterValue value;
  EXPECT_TRUE(query->GetValue(cpu, &value));
  EXPECT_EQ(kNoData, value.status);
}

TEST(CounterQueryTest, RemovedAndUnknownHandlesFail) {
  ProcTree tree;
  tree.SetStat("cpu  1 1 1 1");
  auto query = OpenFixture(tree);
  const int32_t cpu = query->AddCounter(platform::kProcessorTimePath);
  EXPECT_TRUE(query->RemoveCounter(cpu));
  EXPECT_FALSE(query->RemoveCounter(cpu));
  CounterValue value;
  RawCounterSample sample;
  CounterStatistics statistics;
  const RawCounterSample ring[1];
  for (int32_t handle : {cpu, -1, 7}) {
    SCOPED_TRACE(handle);
    EXPECT_FALSE(query->GetValue(handle, &value));
    EXPECT_FALSE(query->GetRawValue(handle, &sample));
    EXPECT_FALSE(query->ComputeStatistics(handle, 0, 1, ring, &statistics));
  }
}

RawCounterSample Raw(int64_t first, int64_t second, int64_t second_of_time = 0, CounterStatus status = kValid) {
  return {status, second_of_time * 1'000'000'000, first, second};
}

struct StatisticsCase {
  const char* name;
  const char* path;
  int32_t first;
  int32_t count;
  bool ok;
  CounterStatus status;
  int64_t min, max, mean;
};

// Ring of four; the window starts at `first` and wraps around.
const RawCounterSample kCpuRing[4] = {Raw(300, 400), Raw(0, 0), Raw(100, 200), Raw(150, 300)};
const RawCounterSample kCommitRing[4] = {Raw(2048, 0), Raw(1024, 0), Raw(0, 0, 0, kNoData), Raw(4096, 0)};

const StatisticsCase kStatistics[] = {
    // Window 1,2,3,0: pairs 0->100/200 (50%), 100/200->150/300 (50%), 150/300->300/400 (100%).
    {"a rate gives one value per neighbouring pair", platform::kProcessorTimePath, 1, 4, true, kValid, 50, 100, 67},
    {"one sample of a rate gives no value", platform::kProcessorTimePath, 2, 1, true, kInvalid, 0, 0, 0},
    {"other counters give one value per valid sample", platform::kCommittedBytesPath, 0, 4, true, kValid, 1024, 4096,
     2389},
    {"an empty window has no value", platform::kCommittedBytesPath, 0, 0, true, kInvalid, 0, 0, 0},
    {"a window longer than the ring", platform::kCommittedBytesPath, 0, 5, false, kValid, 0, 0, 0},
    {"a first slot outside the ring", platform::kCommittedBytesPath, 4, 1, false, kValid, 0, 0, 0},
};

TEST(CounterQueryTest, StatisticsOverAWindowOfTheRing) {
  ProcTree tree;
  tree.SetStat("cpu  1 1 1 1");
  auto query = OpenFixture(tree);
  for (const StatisticsCase& c : kStatistics) {
    SCOPED_TRACE(c.name);
    const int32_t handle = query->AddCounter(c.path);
    const auto& ring = std::string_view(c.path) == platform::kProcessorTimePath ? kCpuRing : kCommitRing;
    CounterStatistics statistics;
    ASSERT_EQ(c.ok, query->ComputeStatistics(handle, c.first, c.count, ring, &statistics));
    if (!c.ok) continue;
    EXPECT_EQ(c.status, statistics.min.status);
    EXPECT_EQ(c.status, statistics.mean.status);
    if (c.status != kValid) continue;
    EXPECT_EQ(c.min, statistics.min.value);
    EXPECT_EQ(c.max, statistics.max.value);
    EXPECT_EQ(c.mean, statistics.mean.value);
  }
}

TEST(CounterQueryTest, TheLiveTreeGivesValuesAfterTwoCollections) {
  auto query = platform::OpenCounterQueryAt("/proc");
  ASSERT_NE(nullptr, query);
  const int32_t cpu = query->AddCounter(platform::kProcessorTimePath);
  const int32_t bytes = query->AddCounter(platform::kIoBytesPath);
  const int32_t committed = query->AddCounter(platform::kCommittedBytesPath);
  ASSERT_TRUE(query->Collect());
  // The processor figure needs ticks between the two collections: wait until the machine's
  // tick counter has moved on.
  const auto cpu_line = [] {
    const std::string stat = ReadFile("/proc/stat");
    return stat.substr(0, stat.find('\n'));
  };
  for (const std::string first = cpu_line(); cpu_line() == first;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(query->Collect());
  CounterValue value;
  for (int32_t handle : {cpu, bytes, committed}) {
    ASSERT_TRUE(query->GetValue(handle, &value));
    EXPECT_EQ(kValid, value.status) << handle;
    EXPECT_GE(value.value, 0);
  }
}

}  // namespace

namespace {

// Kept open or opened at every collection, the io files give the same sums.
TEST(ProcessIoTotalsTest, TheSumsDoNotDependOnHowManyFilesStayOpen) {
  for (size_t kept : {size_t{0}, size_t{1}, size_t{100}}) {
    SCOPED_TRACE(kept);
    ProcTree tree;
    tree.SetProcessIo(1, 10, 0, 1, 0);
    tree.SetProcessIo(2, 20, 0, 2, 0);
    platform::posix::UniqueFd root = platform::posix::OpenCloexec(tree.str().c_str(), O_RDONLY);
    platform::posix::ProcessIoTotals totals(kept);
    auto first = totals.Collect(root.get());
    ASSERT_TRUE(first);
    EXPECT_EQ(30, first->bytes);
    tree.SetProcessIo(1, 15, 5, 2, 1);
    tree.RemoveProcess(2);
    tree.SetProcessIo(3, 7, 0, 1, 0);
    auto second = totals.Collect(root.get());
    ASSERT_TRUE(second);
    EXPECT_EQ(30 + 10 + 7, second->bytes);
    EXPECT_EQ(3 + 2 + 1, second->operations);
  }
}

}  // namespace
