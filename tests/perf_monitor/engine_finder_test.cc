// The one rule that picks the harness's engine among the system's processes, fed made-up
// snapshots: what counts as the engine's command line, which descendants count, and how the
// finder keeps the engine it found.
#include "perf_monitor/engine_finder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::ProcessEntry;

constexpr int kHarness = 500;
const std::vector<std::string> kEngine = {"C:\\eng ine\\vxr.exe", "/SMH=124", "/PI=500"};

// init and the harness, which every case shares.
std::vector<ProcessEntry> WithHarness(std::vector<ProcessEntry> processes) {
  processes.push_back({1, 0, 1, {"/sbin/init"}});
  processes.push_back({kHarness, 1, 100, {"testkve", "/RUN=2"}});
  return processes;
}

TEST(EngineFinderTest, TheCommandLineIsExactlyPathHandleAndThisHarness) {
  const struct {
    std::vector<std::string> arguments;
    bool engine;
  } cases[] = {
      {kEngine, true},
      {{"./vxr", "/SMH=0", "/PI=500"}, true},
      {{"./vxr", "/SMH=124", "/PI=500", "more"}, false},
      {{"./vxr", "/PI=500", "/SMH=124"}, false},
      {{"./vxr", "/SMH=", "/PI=500"}, false},
      {{"./vxr", "/SMH=12x", "/PI=500"}, false},
      {{"./vxr", "/SMH=124", "/PI=5000"}, false},
      {{"./vxr", "/SMH=124", "/PI=50"}, false},
      {{"sh", "-c", "/SMH=124 /PI=500"}, false},
      {{"/SMH=124", "/PI=500"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(c.engine, IsEngineCommandLine(c.arguments, kHarness));
  }
}

TEST(EngineFinderTest, PicksTheEldestEngineThatDescendsFromThisHarness) {
  const struct {
    const char* name;
    std::vector<ProcessEntry> processes;
    int engine;  // 0: none
  } cases[] = {
      {"no engine", {}, 0},
      {"the harness's child", {{600, kHarness, 200, kEngine}}, 600},
      {"under a starter", {{700, kHarness, 200, {"starter"}}, {701, 700, 210, kEngine}}, 701},
      {"forked in the same clock tick, the copy with the lower ID",
       {{700, kHarness, 200, {"starter"}}, {701, 700, 300, kEngine}, {699, 701, 300, kEngine}},
       701},
      {"the copy the ended engine forked, left to the starter",
       {{700, kHarness, 200, {"starter"}}, {702, 700, 300, kEngine}},
       702},
      {"two engines: the earlier started", {{600, kHarness, 300, kEngine}, {601, kHarness, 200, kEngine}}, 601},
      {"a descendant that is no engine",
       {{600, kHarness, 200, {"./vxr", "/SMH=124", "/PI=500", "/x"}}, {601, kHarness, 200, {"vxr_helper"}}},
       0},
      {"an engine naming this harness that another process started", {{610, 1, 200, kEngine}}, 0},
      {"the engine of a harness this harness started",
       {{800, kHarness, 200, {"testkve"}}, {801, 800, 210, {"./vxr", "/SMH=9", "/PI=800"}}},
       0},
      {"a parent ID the harness took over from an earlier process", {{650, kHarness, 50, kEngine}}, 0},
      {"a starter's ID taken by a later child of the harness",
       {{700, kHarness, 400, {"other"}}, {701, 700, 300, kEngine}},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = FindEngine(WithHarness(c.processes), kHarness);
    EXPECT_EQ(c.engine, found ? found->process_id : 0);
  }
}

// A process table that answers from a snapshot the test changes, and counts the walks.
class MadeUpTable final : public platform::ProcessTable {
 public:
  explicit MadeUpTable(std::map<int, ProcessEntry>* processes, int* snapshots)
      : processes_(processes), snapshots_(snapshots) {}
  std::vector<ProcessEntry> Snapshot() override {
    ++*snapshots_;
    std::vector<ProcessEntry> list;
    for (const auto& [pid, entry] : *processes_) list.push_back(entry);
    return list;
  }
  std::optional<platform::ProcessFigures> Figures(int pid) override {
    const auto it = processes_->find(pid);
    if (it == processes_->end()) return std::nullopt;
    return platform::ProcessFigures{pid, it->second.start_time, 1000, 4096, 0, 0};
  }

 private:
  std::map<int, ProcessEntry>* processes_;
  int* snapshots_;
};

TEST(EngineFinderTest, KeepsTheEngineUntilItEndsAndTellsItFromALaterProcessWithItsId) {
  std::map<int, ProcessEntry> processes;
  for (ProcessEntry& entry : WithHarness({})) processes[entry.process_id] = entry;
  int snapshots = 0;
  EngineFinder finder(std::make_unique<MadeUpTable>(&processes, &snapshots), kHarness);
  EXPECT_FALSE(finder.Read());
  EXPECT_EQ(1, snapshots);

  processes[600] = {600, kHarness, 200, kEngine};
  ASSERT_TRUE(finder.Read());
  // Found once: the next reads look at the engine alone, even after its command line changed.
  processes[600].arguments = {"renamed"};
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(finder.Read());
  EXPECT_EQ(2, snapshots);

  // Its ID taken by a later process that is no engine: none, after one more walk.
  processes[600] = {600, kHarness, 900, {"other"}};
  EXPECT_FALSE(finder.Read());
  EXPECT_EQ(3, snapshots);
  // The next engine is found with its own start.
  processes[601] = {601, kHarness, 950, kEngine};
  const auto next = finder.Read();
  ASSERT_TRUE(next);
  EXPECT_EQ(601, next->process_id);
  EXPECT_EQ(950, next->start_time);
}

TEST(EngineFinderTest, WithoutAProcessTableNoEngineIsFound) {
  EngineFinder finder(nullptr, kHarness);
  EXPECT_FALSE(finder.Read());
}

}  // namespace
