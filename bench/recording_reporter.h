// A console reporter that also keeps each benchmark's time per iteration, so that a benchmark
// program can print the ratio of two of them side by side (its RESULT line).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  enum class Clock { kReal, kProcessor };

  /// kProcessor where both sides run in this process: on a shared machine the wall clock
  /// mostly measures the neighbours.
  explicit RecordingReporter(Clock clock) : clock_(clock) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        const double total = clock_ == Clock::kReal ? run.real_accumulated_time : run.cpu_accumulated_time;
        seconds_[run.run_name.function_name] = total / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  /// Seconds per iteration of the benchmark `name`; 0 when it did not run.
  double Seconds(const std::string& name) const {
    auto found = seconds_.find(name);
    return found == seconds_.end() ? 0 : found->second;
  }

 private:
  Clock clock_;
  std::map<std::string, double> seconds_;
};
