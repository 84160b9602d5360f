// The engine's own figures: the finder finds the harness's engine among the processes of a
// fixture /proc tree by its command line and ancestry, and the sampler turns what the kernel
// counted into rates per sample.
#include <gtest/gtest.h>

#include <unistd.h>
#include <string>

#include "perf_monitor/engine_finder.h"
#include "perf_monitor/engine_sampler.h"
#include "platform/posix/proc_root.h"
#include "support/proc_tree.h"

namespace {

constexpr int kHarness = 500;
const std::string kEngineArgs = std::string("./vxr.exe\0/SMH=3\0/PI=500\0", 25);

// Ticks of the live system's clock, as the process table converts them.
int64_t NsPerTick() { return 1'000'000'000 / sysconf(_SC_CLK_TCK); }

void AddHarness(const ProcTree& tree) {
  tree.SetStat("cpu  1 0 1 1 0 0 0 0");
  tree.SetProcess({kHarness, 1, std::string("testkve\0/RUN=2\0", 15), 5, 100, 7000});
}

TEST(EngineFinderTest, FindsOnlyADescendantWithTheEnginesCommandLineInAProcTree) {
  ProcTree tree;
  AddHarness(tree);
  // Look-alikes: another harness's engine, a program with more arguments, one with the engine's
  // words elsewhere.
  tree.SetProcess({610, 1, kEngineArgs, 1, 200, 100});
  tree.SetProcess({620, kHarness, std::string("./vxr.exe\0/SMH=3\0/PI=500\0more\0", 30), 1, 200, 100});
  tree.SetProcess({630, kHarness, std::string("sh\0-c\0/SMH=3 /PI=500\0", 22), 1, 200, 100});
  auto table = platform::OpenProcessTableAt(tree.str());
  ASSERT_TRUE(table);
  EngineFinder finder(std::move(table), kHarness);
  EXPECT_FALSE(finder.Read());

  // The engine under a starter between it and the harness, and a copy it forked.
  tree.SetProcess({700, kHarness, std::string("starter\0", 8), 0, 300, 500});
  tree.SetProcess({701, 700, kEngineArgs, 40, 301, 2048});
  tree.SetProcess({702, 701, kEngineArgs, 3, 350, 1024});
  tree.SetProcessIo(701, 4096, 1024, 3, 1);
  const auto figures = finder.Read();
  ASSERT_TRUE(figures);
  EXPECT_EQ(701, figures->process_id);
  EXPECT_EQ(40 * NsPerTick(), figures->cpu_ns);
  EXPECT_EQ(2048 * 1024, figures->resident_bytes);
  EXPECT_EQ(4096, figures->read_bytes);
  EXPECT_EQ(1024, figures->written_bytes);

  // Once the engine has ended, none; its pid taken by a later program is not the engine.
  tree.RemoveProcess(702);
  tree.SetProcess({701, 700, std::string("other\0", 6), 40, 310, 2048});
  EXPECT_FALSE(finder.Read());
  EXPECT_FALSE(platform::OpenProcessTableAt((tree.path() / "none").string()));
}

TEST(EngineSamplerTest, RatesRunFromTheLaunchThenFromTheSampleBefore) {
  ProcTree tree;
  AddHarness(tree);
  EngineSampler sampler(EngineFinder(platform::OpenProcessTableAt(tree.str()), kHarness));
  EXPECT_FALSE(sampler.Take(1000, 0));
  const int64_t ticks_per_second = 1'000'000'000 / NsPerTick();
  // Launched at 1200 ms; at 1700 ms it has used a quarter second and read 1 MiB.
  tree.SetProcess({800, kHarness, kEngineArgs, ticks_per_second / 4, 400, 3000});
  tree.SetProcessIo(800, 1 << 20, 0, 1, 0);
  auto first = sampler.Take(1700, 1200);
  ASSERT_TRUE(first);
  EXPECT_EQ(800, first->pid);
  EXPECT_NEAR(50, first->cpu_percent, 1);
  EXPECT_EQ(3000 * 1024, first->resident_bytes);
  EXPECT_DOUBLE_EQ(2.0 * (1 << 20), *first->read_bytes_per_second);
  EXPECT_DOUBLE_EQ(0, *first->written_bytes_per_second);
  // One second later: a whole second of processor time and 2 MiB written since the sample before.
  tree.SetProcess({800, kHarness, kEngineArgs, ticks_per_second / 4 + ticks_per_second, 400, 3500});
  tree.SetProcessIo(800, 1 << 20, 2 << 20, 1, 2);
  auto second = sampler.Take(2700, 1200);
  ASSERT_TRUE(second);
  EXPECT_NEAR(100, second->cpu_percent, 1);
  EXPECT_DOUBLE_EQ(0, *second->read_bytes_per_second);
  EXPECT_DOUBLE_EQ(2.0 * (1 << 20), *second->written_bytes_per_second);
  // An io file that cannot be read leaves the rates unknown, not zero.
  tree.MakeIoUnreadable(800);
  auto third = sampler.Take(3700, 1200);
  ASSERT_TRUE(third);
  EXPECT_FALSE(third->read_bytes_per_second);
  // The next pass's engine counts from its own launch again.
  tree.RemoveProcess(800);
  EXPECT_FALSE(sampler.Take(4700, 1200));
  tree.SetProcess({900, kHarness, kEngineArgs, ticks_per_second / 10, 900, 3000});
  auto next = sampler.Take(5700, 5600);
  ASSERT_TRUE(next);
  EXPECT_NEAR(100, next->cpu_percent, 1);
}

}  // namespace
