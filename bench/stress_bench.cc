// What a stress pass costs beyond starting the engine: `testkve /NH /RUN=n` against the
// reference engine in a copy of the engine folder, and in the same run n starts of the same
// engine by a bare spawn-and-wait loop in this process. The bare engine gets a real settings
// block (made once) with the same settings, so it does the same work as under the harness:
// attach, check, read, write its report.
//
// The harness runs with the library's reuse of the engine's verdict (the product), with
// TESTKVE_NO_VERDICT_REUSE=1, which checks the engine's signature and version afresh on every
// pass, with /JSON, which writes and flushes a run record line per pass, and without the
// engine starter (the system refuses it under a small file-size limit).
//
//   build/bin/stress_bench                      500 passes each
//   build/bin/stress_bench --benchmark_repetitions=5
//
// The harness and the bare loop take turns in batches (harness, bare, harness, bare ...), so a
// change of the machine's load moves both sides alike.
//
// Counters: harness_ms (per pass), bare_ms (per start), extra (harness_ms / bare_ms - 1), and
// median_turn_extra: the median over the turns of each turn's own extra, which a load that
// changes between turns moves less than the pooled sums.
// Ends with one RESULT line per harness run: extra, the harness's own cost per pass as a
// fraction of a bare start.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "settings_block/block_record.h"
#include "settings_block/settings_block.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "vxr_lib.h"

namespace {

using Clock = std::chrono::steady_clock;

// The settings of a fresh context under the bundled VXR.INI, as the harness hands them over.
bool FillFreshContextBlock(SharedBlock* block, const std::filesystem::path& folder) {
  std::vector<std::unique_ptr<BlockRecord>> records;
  // Where the engine under the harness writes it: "report" in its current folder.
  records.push_back(std::make_unique<StringRecord>(VXR_STR_REPORT_DIR, (folder / "report").string()));
  records.push_back(std::make_unique<StringRecord>(VXR_STR_BACKUP_DIR, "backup"));
  records.push_back(std::make_unique<StringRecord>(VXR_STR_DEBUG_LOG_DIR, "debug"));
  records.push_back(std::make_unique<StringRecord>(VXR_STR_PATTERN_DIR, folder.string()));
  records.push_back(std::make_unique<StringRecord>(VXR_STR_PATTERN_FILENAME, "vxr.ptn"));
  for (uint32_t id : {VXR_FLG_DISABLE_CONSOLE_OUTPUT, VXR_FLG_DISABLE_REPORT_OUTPUT, VXR_FLG_DISABLE_DEBUG_OUTPUT}) {
    records.push_back(std::make_unique<FlagRecord>(id, 0));
  }
  records.push_back(std::make_unique<ValueRecord>(VXR_INT_DEBUG_INFO_LEVEL, 0));
  for (uint32_t id : {VXR_FLG_BACKUP_FILE, VXR_FLG_VIRUS_MSG_BOX, VXR_FLG_NOVIRUS_MSG_BOX}) {
    records.push_back(std::make_unique<FlagRecord>(id, 0));
  }
  records.push_back(std::make_unique<ValueRecord>(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN));
  records.push_back(std::make_unique<ValueRecord>(0, 0));
  uint32_t data_size = 0;
  for (const auto& record : records) data_size += record->Size();
  if (!block->Create(SharedBlock::kHeaderSize + data_size)) return false;
  block->OpenForWriting();
  for (const auto& record : records) {
    if (!block->Append(*record)) return false;
  }
  block->Finish();
  return true;
}

// Seconds taken by `argv` run to its end with exit status 0; negative when it failed.
double RunSeconds(const std::vector<std::string>& argv) {
  const Clock::time_point start = Clock::now();
  platform::ProcessOutcome outcome = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared).Wait();
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  const bool ok = outcome.kind == platform::ProcessOutcome::Kind::kExited && outcome.code == 0;
  return ok ? elapsed.count() : -1;
}

// n starts of the engine in `folder`, each given the same block and waited for; negative when
// one failed.
double BareStartsSeconds(const std::filesystem::path& folder, const SharedBlock& block, int n) {
  const std::vector<std::string> argv = {(folder / "vxr.exe").string(), "/SMH=" + std::to_string(block.Handle()),
                                         "/PI=" + std::to_string(platform::CurrentProcessId())};
  double seconds = 0;
  for (int i = 0; i < n; ++i) {
    const double once = RunSeconds(argv);
    if (once < 0) return -1;
    seconds += once;
  }
  return seconds;
}

// Batches of each side per measurement; each harness batch is one more start of the harness.
constexpr int kBatches = 5;

struct Comparison {
  std::string name;
  std::string goal;
  double harness_ms = 0;
  double bare_ms = 0;
  int repetitions = 1;
  /// harness / bare - 1 of each turn: a turn's two sides ran back to back, under one load.
  std::vector<double> turn_extras;
};

// The middle of `values` (the mean of the two middle ones for an even count).
double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}
std::vector<Comparison> g_comparisons;

// `passes` stress passes of testkve with `options` (and `environment`, shell assignments put
// before it), against as many bare starts.
void MeasureStressPasses(benchmark::State& state, const std::string& environment, const std::string& options,
                         const std::string& name, const std::string& goal) {
  const int passes = static_cast<int>(state.range(0));
  EngineFolderCopy folder;
  SharedBlock block;
  if (!FillFreshContextBlock(&block, folder.path())) {
    state.SkipWithError(("settings block: " + block.error()).c_str());
    return;
  }
  const int batch = passes / kBatches;
  // The shell only changes folder and execs testkve: one extra start per batch.
  const std::vector<std::string> harness = {"/bin/sh",
                                            "-c",
                                            environment + " cd \"$1\" && exec \"$0\" /NH \"/RUN=$2\" $3 >/dev/null",
                                            BuiltProgram("testkve"),
                                            folder.path().string(),
                                            std::to_string(batch),
                                            options};
  double harness_seconds = 0;
  double bare_seconds = 0;
  std::vector<double> turn_extras;
  for (auto _ : state) {
    for (int turn = 0; turn < kBatches; ++turn) {
      const double h = RunSeconds(harness);
      const double b = BareStartsSeconds(folder.path(), block, batch);
      if (h < 0 || b < 0) {
        state.SkipWithError(h < 0 ? "testkve failed" : "the bare engine failed");
        return;
      }
      harness_seconds += h;
      bare_seconds += b;
      turn_extras.push_back(h / b - 1);
    }
  }
  const double runs = static_cast<double>(state.iterations()) * batch * kBatches;
  state.counters["harness_ms"] = harness_seconds / runs * 1e3;
  state.counters["bare_ms"] = bare_seconds / runs * 1e3;
  state.counters["extra"] = harness_seconds / bare_seconds - 1;
  state.counters["median_turn_extra"] = Median(turn_extras);
  g_comparisons.push_back({name, goal, harness_seconds / runs * 1e3, bare_seconds / runs * 1e3, 1, turn_extras});
}

void BM_StressPassOverBareStart(benchmark::State& state) {
  MeasureStressPasses(state, "", "", "stress pass over bare start, verdict reuse on", "<= 0.10");
}
BENCHMARK(BM_StressPassOverBareStart)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the reuse of the engine's verdict saves: the same passes, each checking the engine anew.
void BM_StressPassWithoutVerdictReuse(benchmark::State& state) {
  MeasureStressPasses(state, "export TESTKVE_NO_VERDICT_REUSE=1;", "", "stress pass over bare start, verdict reuse off",
                      "none, the cost without reuse");
}
BENCHMARK(BM_StressPassWithoutVerdictReuse)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same passes with the engine started directly by the harness: a file-size limit smaller
// than the engine starter makes the system refuse it. What the starter's hop costs a pass is
// the difference to the first comparison.
void BM_StressPassWithoutStarterOverBareStart(benchmark::State& state) {
  MeasureStressPasses(state, "ulimit -f 256;", "", "stress pass without the engine starter over bare start",
                      "none, the starter's share");
}
BENCHMARK(BM_StressPassWithoutStarterOverBareStart)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

// The run record costs a line written and flushed per pass, and the engine's digest once.
void BM_StressPassWithJsonOverBareStart(benchmark::State& state) {
  MeasureStressPasses(state, "", "/JSON=run.jsonl", "stress pass with /JSON over bare start", "<= 0.25");
}
BENCHMARK(BM_StressPassWithJsonOverBareStart)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // One line per comparison: repetitions are pooled.
  std::vector<Comparison> pooled;
  for (const Comparison& c : g_comparisons) {
    auto same = std::find_if(pooled.begin(), pooled.end(), [&](const Comparison& p) { return p.name == c.name; });
    if (same == pooled.end()) {
      pooled.push_back(c);
      continue;
    }
    same->harness_ms += c.harness_ms;
    same->bare_ms += c.bare_ms;
    ++same->repetitions;
    same->turn_extras.insert(same->turn_extras.end(), c.turn_extras.begin(), c.turn_extras.end());
  }
  for (const Comparison& c : pooled) {
    std::printf(
        "RESULT %s: %.3f (goal: %s) harness %.2f ms per pass, bare start %.2f ms; median of %zu turns' own ratios "
        "%.3f\n",
        c.name.c_str(), c.harness_ms / c.bare_ms - 1, c.goal.c_str(), c.harness_ms / c.repetitions,
        c.bare_ms / c.repetitions, c.turn_extras.size(), Median(c.turn_extras));
  }
  return 0;
}
