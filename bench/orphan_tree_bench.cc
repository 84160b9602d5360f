// How long the end of a pass takes when the engine leaves a large tree behind. A shell started
// as the harness starts an engine (through the engine starter) forks n children that block and
// then ends; the starter kills and reaps all n before it reports the end. Beside it, the floor:
// the same shell kills its whole process group itself (`kill -9 0`), so that the kernel tears
// the n children down at once and the starter only reaps them. Both are timed from the shell's
// last step (its clock, written to a file) to the report of its end.
//
//   build/bin/orphan_tree_bench                          2000 and 20 000 children
//   build/bin/orphan_tree_bench --benchmark_filter=/2000  2000 children
//
// Counters: end_s (from the shell's last step to the reported end). Ends with one RESULT line:
// the orphans' end over the floor's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace {

// $1 the folder, $2 the number of children, $3 "group" to kill them with the shell's group.
// Each child blocks opening a FIFO that nobody writes, a forked shell without an exec of its own.
constexpr char kTreeScript[] = R"(
mkfifo "$1/never" || exit 1
i=0
while [ $i -lt "$2" ]; do
  read -r _ < "$1/never" &
  i=$((i + 1))
done
date +%s%N > "$1/end"
[ "$3" = group ] && kill -9 0
exit 0
)";

// Seconds from the shell's last step to the reported end of a tree of `children`; negative when
// the run failed.
double EndSeconds(int children, bool by_group) {
  TempFolder folder;
  const platform::OpenFile shell = platform::OpenFile::Open("/bin/sh");
  const std::vector<std::string> argv = {
      "sh", "-c", kTreeScript, "sh", folder.str(), std::to_string(children), by_group ? "group" : "orphans"};
  platform::ChildProcess tree = platform::ChildProcess::SpawnContained(shell, argv, platform::ConsoleMode::kDetached);
  tree.WaitFor(std::nullopt, std::chrono::milliseconds(1000));
  const auto ended = std::chrono::system_clock::now().time_since_epoch();
  long long last_step_ns = 0;
  if (!(std::ifstream(folder.path() / "end") >> last_step_ns)) return -1;
  return std::chrono::duration<double>(ended - std::chrono::nanoseconds(last_step_ns)).count();
}

double orphans_s = 0;
double group_s = 0;
int measured_children = 0;

void Measure(benchmark::State& state, bool by_group, double* seconds) {
  const int children = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const double end = EndSeconds(children, by_group);
    if (end < 0) {
      state.SkipWithError("the shell did not make its tree");
      return;
    }
    *seconds = end;
  }
  state.counters["end_s"] = *seconds;
  measured_children = children;
}

void BM_OrphansEndedByTheStarter(benchmark::State& state) { Measure(state, false, &orphans_s); }
BENCHMARK(BM_OrphansEndedByTheStarter)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GroupKilledAtOnce(benchmark::State& state) { Measure(state, true, &group_s); }
BENCHMARK(BM_GroupKilledAtOnce)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (orphans_s > 0 && group_s > 0) {
    std::printf(
        "RESULT orphan tree end over the kernel's teardown: %.3f (goal: <= 1.5) %d processes: "
        "orphans %.2f s, group killed at once %.2f s\n",
        orphans_s / group_s, measured_children, orphans_s, group_s);
  }
  return 0;
}
