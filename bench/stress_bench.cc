// What a stress pass costs beyond starting the engine: `testkve /NH /RUN=n` against the
// reference engine in a copy of the engine folder, and in the same run n starts of the same
// engine by a bare spawn-and-wait loop in this process. The bare engine gets a real settings
// block (made once) with the same settings, so it does the same work as under the harness:
// attach, check, read, write its report.
//
// The harness runs twice: with the library's reuse of the engine's verdict (the product), and
// with TESTKVE_NO_VERDICT_REUSE=1, which checks the engine's signature and version afresh on
// every pass.
//
//   build/bin/stress_bench                      500 passes each
//
// Counters: harness_ms (per pass), bare_ms (per start), extra (harness_ms / bare_ms - 1).
// Ends with one RESULT line per harness run: extra, the harness's own cost per pass as a
// fraction of a bare start.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine_control/block_record.h"
#include "engine_control/settings_block.h"
#include "platform/process.h"
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
  for (uint32_t id : {VXR_FLG_DISABLE_CONSOLE_OUTPUT, VXR_FLG_DISABLE_REPORT_OUTPUT,
                      VXR_FLG_DISABLE_DEBUG_OUTPUT}) {
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
  platform::ProcessOutcome outcome =
      platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared).Wait();
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  const bool ok = outcome.kind == platform::ProcessOutcome::Kind::kExited && outcome.code == 0;
  return ok ? elapsed.count() : -1;
}

// n starts of the engine in `folder`, each given the same block and waited for; negative when
// one failed.
double BareStartsSeconds(const std::filesystem::path& folder, const SharedBlock& block, int n) {
  const std::vector<std::string> argv = {(folder / "vxr.exe").string(),
                                         "/SMH=" + std::to_string(block.Handle()),
                                         "/PI=" + std::to_string(platform::CurrentProcessId())};
  double seconds = 0;
  for (int i = 0; i < n; ++i) {
    const double once = RunSeconds(argv);
    if (once < 0) return -1;
    seconds += once;
  }
  return seconds;
}

struct Figures {
  double harness_ms = 0;
  double bare_ms = 0;
};
std::map<bool, Figures> measured;  // by verdict reuse

void BM_StressPassOverBareStart(benchmark::State& state) {
  const int passes = static_cast<int>(state.range(0));
  const bool reuse = state.range(1) == 1;
  EngineFolderCopy folder;
  SharedBlock block;
  if (!FillFreshContextBlock(&block, folder.path())) {
    state.SkipWithError(("settings block: " + block.error()).c_str());
    return;
  }
  // The shell only changes folder and execs testkve: one extra start per n passes.
  const std::vector<std::string> harness = {
      "/bin/sh", "-c",
      std::string(reuse ? "" : "export TESTKVE_NO_VERDICT_REUSE=1; ") +
          "cd \"$1\" && exec \"$0\" /NH \"/RUN=$2\" >/dev/null",
      TESTKVE_BIN_DIR "/testkve", folder.path().string(), std::to_string(passes)};
  double harness_seconds = 0;
  double bare_seconds = 0;
  for (auto _ : state) {
    const double h = RunSeconds(harness);
    const double b = BareStartsSeconds(folder.path(), block, passes);
    if (h < 0 || b < 0) {
      state.SkipWithError(h < 0 ? "testkve failed" : "the bare engine failed");
      return;
    }
    harness_seconds += h;
    bare_seconds += b;
  }
  const double runs = static_cast<double>(state.iterations()) * passes;
  state.counters["harness_ms"] = harness_seconds / runs * 1e3;
  state.counters["bare_ms"] = bare_seconds / runs * 1e3;
  state.counters["extra"] = harness_seconds / bare_seconds - 1;
  measured[reuse] = {harness_seconds / runs * 1e3, bare_seconds / runs * 1e3};
}
BENCHMARK(BM_StressPassOverBareStart)
    ->ArgNames({"passes", "reuse"})
    ->Args({500, 1})
    ->Args({500, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void PrintResult(bool reuse, const char* goal) {
  const auto found = measured.find(reuse);
  if (found == measured.end() || found->second.bare_ms <= 0) return;
  const Figures& f = found->second;
  std::printf("RESULT stress pass extra over bare start, verdict reuse %s: %.3f (goal: %s) "
              "harness %.2f ms per pass, bare start %.2f ms\n",
              reuse ? "on" : "off", f.harness_ms / f.bare_ms - 1, goal, f.harness_ms, f.bare_ms);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintResult(true, "<= 0.15");
  PrintResult(false, "none, the cost without reuse");
  benchmark::Shutdown();
  return 0;
}
