// The live system's processes: a child of this test, started with a known command line, as the
// snapshot lists it and as its figures read, on every system.
#include "platform/process_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/process_arguments.h"
#include "platform/program_path.h"
#include "support/temp_folder.h"

namespace {

constexpr char kHoldFlag[] = "--hold-while-present";

// This test program started again as the test's child ("<program> --hold-while-present <file>
// ..."): it says it runs by writing "<file>.ready", stays until <file> is removed and ends
// before any test runs.
const bool kRunAsHoldingChild = [] {
  std::vector<std::string> arguments;
  platform::Error error;
  if (!platform::ReadProcessArguments(&arguments, &error) || arguments.size() < 3 || arguments[1] != kHoldFlag)
    return false;
  const std::filesystem::path hold = arguments[2];
  std::ofstream(hold.string() + ".ready") << "ready\n";
  while (std::filesystem::exists(hold)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::exit(0);
}();

const platform::ProcessEntry* Find(const std::vector<platform::ProcessEntry>& processes, int pid) {
  const auto it = std::find_if(processes.begin(), processes.end(),
                               [&](const platform::ProcessEntry& entry) { return entry.process_id == pid; });
  return it == processes.end() ? nullptr : &*it;
}

bool AppearsWithin(const std::filesystem::path& file, std::chrono::seconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!std::filesystem::exists(file)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(ProcessSnapshotTest, ListsAChildWithItsParentStartAndWholeCommandLineAndReadsItsFigures) {
  ASSERT_FALSE(kRunAsHoldingChild);
  TempFolder folder;
  const std::filesystem::path hold = folder.Write("hold", "");
  const auto program = platform::RunningProgramPath();
  ASSERT_TRUE(program);
  // Arguments that a command line must quote, and one longer than a page.
  const std::vector<std::string> argv = {*program,    kHoldFlag,    hold.string(),         "/SMH=7",
                                         "two words", "\"quoted\"", std::string(5000, 'x')};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(AppearsWithin(hold.string() + ".ready", std::chrono::seconds(120)));

  const auto table = platform::ProcessTable::Open();
  ASSERT_TRUE(table);
  const std::vector<platform::ProcessEntry> processes = table->Snapshot();
  const platform::ProcessEntry* self = Find(processes, static_cast<int>(platform::CurrentProcessId()));
  const platform::ProcessEntry* listed = Find(processes, child.process_id());
  ASSERT_TRUE(self);
  ASSERT_TRUE(listed);
  EXPECT_EQ(self->process_id, listed->parent_id);
  EXPECT_EQ(argv, listed->arguments);
  EXPECT_GT(listed->start_time, 0);
  EXPECT_LE(self->start_time, listed->start_time);

  const auto figures = table->Figures(child.process_id());
  ASSERT_TRUE(figures);
  EXPECT_EQ(child.process_id(), figures->process_id);
  EXPECT_EQ(listed->start_time, figures->start_time);
  ASSERT_TRUE(figures->resident_bytes);
  EXPECT_GT(*figures->resident_bytes, 0);
  EXPECT_TRUE(figures->read_bytes);
  EXPECT_TRUE(figures->written_bytes);

  std::filesystem::remove(hold);
  const platform::ProcessOutcome outcome = child.Wait();
  EXPECT_EQ(platform::ProcessOutcome::Kind::kExited, outcome.kind);
  EXPECT_EQ(0, outcome.code);
  // Ended and reaped: no process runs with its ID and start.
  const auto after = table->Figures(listed->process_id);
  EXPECT_TRUE(!after || after->start_time != listed->start_time);
}

}  // namespace
