// How sure /AB is on a loaded machine: how often it finds a 5 % difference in processor work
// significant (detection rate), and how often it finds two identical engines different (false
// positives, which should stay near the 0.05 level).
//
// Each trial is one `testkve /NH /AB=<B> /RUN=<pairs> /JSON=...` against the reference engine,
// side A steered to VXR_REF_CPU_MS=20 (processor time, not wall time) and side B, through the
// steering file of its folder, to 21 ms (the 5 % case) or 20 ms (identical). Its record is
// compared as testkve-compare compares it (paired, Wilcoxon signed-rank at 0.05). While the
// trials run, a busy loop of this program keeps one processor busy, competing with the engines.
//
//   build/bin/ab_detection_bench                20 trials of 200 pairs per case
//   AB_TRIALS=10 AB_PAIRS=100 build/bin/ab_detection_bench
//
// Ends with one RESULT line per case and figure (user time and wall time): the share of the
// trials that found B significantly slower (5 % case) or found any significant difference
// (identical case).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "run_compare/comparison.h"
#include "run_compare/run_record_file.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"

namespace {

constexpr int kWorkMs = 20;
constexpr double kLevel = 0.05;

int FromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// Keeps one processor busy until it is told to stop.
class BusyLoop {
 public:
  BusyLoop()
      : thread_([this] {
          volatile unsigned long spins = 0;
          while (!stop_.load(std::memory_order_relaxed)) spins = spins + 1;
        }) {}
  ~BusyLoop() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Tally {
  int user = 0;
  int wall = 0;
  int trials = 0;
  double user_ratio_total = 0;
};

// One trial: an /AB run and its comparison. False when the run or its record failed.
bool RunTrial(const EngineFolderCopy& a, const EngineFolderCopy& b, int pairs, bool want_slower, Tally* tally) {
  const ProgramRun run = RunProgram(BuiltProgram("testkve"),
                                    {"/NH", "/AB=" + b.str(), "/RUN=" + std::to_string(pairs), "/JSON=trial.jsonl"},
                                    {a.path(), "", {{"VXR_REF_CPU_MS", std::to_string(kWorkMs)}}});
  std::string error;
  const std::optional<compare::RecordedRuns> runs = compare::ReadRunRecord((a.path() / "trial.jsonl").string(), &error);
  if (run.exit_code != 0 || !runs) {
    std::fprintf(stderr, "trial failed: %s%s\n", run.errors.c_str(), error.c_str());
    return false;
  }
  const compare::Comparison comparison = compare::Compare(runs->a, runs->b, true, kLevel);
  // Found: a significant difference; in the 5 % case, B significantly slower.
  auto found = [&](const compare::FigureComparison& figure) {
    return figure.significant && (!want_slower || figure.median_b > figure.median_a);
  };
  tally->wall += found(comparison.figures[0]) ? 1 : 0;
  tally->user += found(comparison.figures[1]) ? 1 : 0;
  tally->user_ratio_total += comparison.figures[1].ratio.value_or(0);
  ++tally->trials;
  return true;
}

void Report(const char* name, const char* goal, int found, const Tally& tally, int pairs) {
  std::printf("RESULT %s: %.3f (goal: %s) %d of %d trials of %d pairs, mean user B/A %.3f\n", name,
              static_cast<double>(found) / tally.trials, goal, found, tally.trials, pairs,
              tally.user_ratio_total / tally.trials);
}

}  // namespace

int main() {
  const int trials = FromEnvironment("AB_TRIALS", 20);
  const int pairs = FromEnvironment("AB_PAIRS", 200);
  EngineFolderCopy a;
  EngineFolderCopy slower;
  slower.Write("vxr_ref_steering.txt", "VXR_REF_CPU_MS=" + std::to_string(kWorkMs + kWorkMs / 20) + "\n");
  EngineFolderCopy same;
  same.Write("vxr_ref_steering.txt", "VXR_REF_CPU_MS=" + std::to_string(kWorkMs) + "\n");
  Tally detected, false_positives;
  const auto start = std::chrono::steady_clock::now();
  {
    BusyLoop competitor;
    for (int trial = 0; trial < trials; ++trial) {
      if (!RunTrial(a, slower, pairs, true, &detected) || !RunTrial(a, same, pairs, false, &false_positives)) return 1;
      std::fprintf(stderr, "trial %d of %d: 5 %% found %d/%d (user), identical found different %d/%d (user)\n",
                   trial + 1, trials, detected.user, detected.trials, false_positives.user, false_positives.trials);
    }
  }
  const double minutes = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;
  std::fprintf(stderr, "%.1f minutes with one busy loop competing\n", minutes);
  Report("ab_detects_5pct_user", ">= 0.8", detected.user, detected, pairs);
  Report("ab_detects_5pct_wall", "none, shown", detected.wall, detected, pairs);
  Report("ab_false_positive_user", "<= 0.10", false_positives.user, false_positives, pairs);
  Report("ab_false_positive_wall", "<= 0.10", false_positives.wall, false_positives, pairs);
  return 0;
}
