#include "perf_monitor/run_marks.h"

void RunMarks::Start() {
  std::lock_guard lock(mutex_);
  start_ = Clock::now();
  runs_.clear();
  open_ = false;
}

int64_t RunMarks::SinceStartMs() const {
  std::lock_guard lock(mutex_);
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
}

void RunMarks::MarkLaunch() {
  const int64_t now = SinceStartMs();
  std::lock_guard lock(mutex_);
  runs_.push_back({now, now});
  open_ = true;
}

void RunMarks::MarkFinish() {
  const int64_t now = SinceStartMs();
  std::lock_guard lock(mutex_);
  if (!open_) return;
  runs_.back().finish_ms = now;
  open_ = false;
}

int64_t RunMarks::LastLaunchMs() const {
  std::lock_guard lock(mutex_);
  return runs_.empty() ? 0 : runs_.back().launch_ms;
}

std::vector<ChartRun> RunMarks::Runs() const {
  std::lock_guard lock(mutex_);
  std::vector<ChartRun> finished = runs_;
  if (open_) finished.pop_back();
  return finished;
}
