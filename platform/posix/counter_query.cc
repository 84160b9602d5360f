#include "platform/counter_query.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/counter_statistics.h"
#include "platform/posix/proc_files.h"
#include "platform/posix/proc_root.h"
#include "platform/posix/process_io_totals.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

using posix::CommitCharge;
using posix::CpuTicks;
using posix::IoCounts;

enum class CounterKind { kProcessorTime, kCommittedInUse, kIoBytes, kIoOperations, kCommittedBytes };

struct PathKind {
  std::string_view path;
  CounterKind kind;
};

constexpr PathKind kKnownPaths[] = {
    {kProcessorTimePath, CounterKind::kProcessorTime},
    {kCommittedInUsePath, CounterKind::kCommittedInUse},
    {kIoBytesPath, CounterKind::kIoBytes},
    {kIoOperationsPath, CounterKind::kIoOperations},
    {kCommittedBytesPath, CounterKind::kCommittedBytes},
};

bool IsRate(CounterKind kind) {
  return kind == CounterKind::kProcessorTime || kind == CounterKind::kIoBytes || kind == CounterKind::kIoOperations;
}

CounterValue Valid(int64_t value) { return {CounterStatus::kValid, value}; }
CounterValue Invalid() { return {CounterStatus::kInvalidData, 0}; }

// A figure computed in floating point; one beyond 64 bits is no reading.
CounterValue ValidIfFits(double value) {
  constexpr double kLimit = 9223372036854775807.0;  // rounds to 2^63, the first value out of range
  if (!(value > -kLimit && value < kLimit)) return Invalid();
  return Valid(std::llround(value));
}

// A rate between two valid readings; a reading that went back is no rate.
CounterValue RateBetween(CounterKind kind, const RawCounterSample& earlier, const RawCounterSample& later) {
  const int64_t counted = later.first_value - earlier.first_value;
  if (counted < 0) return Invalid();
  if (kind == CounterKind::kProcessorTime) {
    const int64_t ticks = later.second_value - earlier.second_value;
    if (ticks <= 0) return Invalid();
    const double percent = 100.0 * static_cast<double>(counted) / static_cast<double>(ticks);
    return Valid(std::min<int64_t>(100, std::llround(percent)));
  }
  const int64_t nanoseconds = later.time_stamp_ns - earlier.time_stamp_ns;
  if (nanoseconds <= 0) return Invalid();
  return ValidIfFits(static_cast<double>(counted) * 1e9 / static_cast<double>(nanoseconds));
}

// The value of one reading of a counter that is not a rate.
CounterValue InstantValue(CounterKind kind, const RawCounterSample& sample) {
  if (kind == CounterKind::kCommittedBytes) return Valid(sample.first_value);
  if (sample.second_value <= 0) return Invalid();
  return ValidIfFits(100.0 * static_cast<double>(sample.first_value) / static_cast<double>(sample.second_value));
}

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The process's io files that the query may keep open between collections: all of the
// descriptor limit but a reserve for the rest of the program.
size_t IoFilesToKeepOpen() {
  constexpr rlim_t kReserve = 256;
  constexpr rlim_t kMost = 65536;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur <= kReserve) return 0;
  return static_cast<size_t>(std::min(limit.rlim_cur - kReserve, kMost));
}

// What one collection read from the tree; a source that was not needed or not readable is empty.
struct Readings {
  std::optional<CpuTicks> cpu;
  std::optional<CommitCharge> commit;
  std::optional<IoCounts> io;
};

struct Counter {
  CounterKind kind;
  bool removed = false;
  RawCounterSample previous;
  RawCounterSample current;
};

class ProcCounterQuery final : public CounterQuery {
 public:
  ProcCounterQuery(posix::UniqueFd root, Clock clock) : root_(std::move(root)), clock_(std::move(clock)) {}

  int32_t AddCounter(std::string_view path) override {
    auto known = std::find_if(std::begin(kKnownPaths), std::end(kKnownPaths),
                              [&](const PathKind& entry) { return entry.path == path; });
    if (known == std::end(kKnownPaths)) return -1;
    counters_.push_back(Counter{known->kind, false, {}, {}});
    return static_cast<int32_t>(counters_.size() - 1);
  }

  bool RemoveCounter(int32_t handle) override {
    Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    counter->removed = true;
    return true;
  }

  bool Collect() override;

  bool GetValue(int32_t handle, CounterValue* value) const override {
    const Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    *value = ValueOf(*counter);
    return true;
  }

  bool GetRawValue(int32_t handle, RawCounterSample* sample) const override {
    const Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    *sample = counter->current;
    return true;
  }

  bool ComputeStatistics(int32_t handle, int32_t first, int32_t count, std::span<const RawCounterSample> ring,
                         CounterStatistics* statistics) const override;

 private:
  const Counter* Find(int32_t handle) const {
    if (handle < 0 || static_cast<size_t>(handle) >= counters_.size()) return nullptr;
    const Counter& counter = counters_[static_cast<size_t>(handle)];
    return counter.removed ? nullptr : &counter;
  }
  Counter* Find(int32_t handle) { return const_cast<Counter*>(std::as_const(*this).Find(handle)); }

  static CounterValue ValueOf(const Counter& counter) {
    if (counter.current.status != CounterStatus::kValid) return {counter.current.status, 0};
    if (!IsRate(counter.kind)) return InstantValue(counter.kind, counter.current);
    if (counter.previous.status != CounterStatus::kValid) return Invalid();
    return RateBetween(counter.kind, counter.previous, counter.current);
  }

  Readings Read(bool cpu, bool commit, bool io);
  static RawCounterSample RawOf(CounterKind kind, const Readings& readings, int64_t now);

  posix::UniqueFd root_;
  Clock clock_;
  std::vector<Counter> counters_;
  posix::ProcessIoTotals io_totals_{IoFilesToKeepOpen()};
};

bool ProcCounterQuery::Collect() {
  bool cpu = false, commit = false, io = false, any = false;
  for (const Counter& counter : counters_) {
    if (counter.removed) continue;
    any = true;
    cpu |= counter.kind == CounterKind::kProcessorTime;
    commit |= counter.kind == CounterKind::kCommittedInUse || counter.kind == CounterKind::kCommittedBytes;
    io |= counter.kind == CounterKind::kIoBytes || counter.kind == CounterKind::kIoOperations;
  }
  if (!any) return false;
  const int64_t now = clock_();
  const Readings readings = Read(cpu, commit, io);
  for (Counter& counter : counters_) {
    counter.previous = counter.current;
    counter.current = RawOf(counter.kind, readings, now);
  }
  return readings.cpu || readings.commit || readings.io;
}

Readings ProcCounterQuery::Read(bool cpu, bool commit, bool io) {
  Readings readings;
  // Large enough for the whole of meminfo and the first line of stat on any machine.
  std::array<char, 8192> buffer;
  if (cpu) {
    if (auto text = posix::ReadHead(root_.get(), "stat", buffer)) readings.cpu = posix::ParseCpuTicks(*text);
  }
  if (commit) {
    if (auto text = posix::ReadHead(root_.get(), "meminfo", buffer)) {
      readings.commit = posix::ParseCommitCharge(*text);
    }
  }
  if (io) readings.io = io_totals_.Collect(root_.get());
  return readings;
}

RawCounterSample ProcCounterQuery::RawOf(CounterKind kind, const Readings& readings, int64_t now) {
  RawCounterSample sample{CounterStatus::kNoData, now, 0, 0};
  auto set = [&](int64_t first, int64_t second) {
    sample.status = CounterStatus::kValid;
    sample.first_value = first;
    sample.second_value = second;
  };
  switch (kind) {
    case CounterKind::kProcessorTime:
      if (readings.cpu) set(readings.cpu->busy, readings.cpu->total);
      break;
    case CounterKind::kCommittedInUse:
      if (readings.commit) set(readings.commit->committed_bytes, readings.commit->limit_bytes);
      break;
    case CounterKind::kCommittedBytes:
      if (readings.commit) set(readings.commit->committed_bytes, 0);
      break;
    case CounterKind::kIoBytes:
      if (readings.io) set(readings.io->bytes, 0);
      break;
    case CounterKind::kIoOperations:
      if (readings.io) set(readings.io->operations, 0);
      break;
  }
  return sample;
}

bool ProcCounterQuery::ComputeStatistics(int32_t handle, int32_t first, int32_t count,
                                         std::span<const RawCounterSample> ring, CounterStatistics* statistics) const {
  const Counter* counter = Find(handle);
  const auto size = static_cast<int64_t>(ring.size());
  if (counter == nullptr || first < 0 || count < 0 || count > size || (count > 0 && first >= size)) {
    return false;
  }
  *statistics =
      StatisticsOverRing(ring, first, count, [&](const RawCounterSample& sample, const RawCounterSample* earlier) {
        if (!IsRate(counter->kind)) return InstantValue(counter->kind, sample);
        return earlier != nullptr ? RateBetween(counter->kind, *earlier, sample) : Invalid();
      });
  return true;
}

}  // namespace

std::unique_ptr<CounterQuery> CounterQuery::Open() { return OpenCounterQueryAt(ProcRoot()); }

std::unique_ptr<CounterQuery> OpenCounterQueryAt(const std::string& root, CounterQuery::Clock clock) {
  posix::UniqueFd fd = posix::OpenCloexec(root.c_str(), O_RDONLY | O_DIRECTORY);
  if (!fd) return nullptr;
  std::array<char, 8192> buffer;
  if (!posix::ReadHead(fd.get(), "stat", buffer)) return nullptr;
  if (!clock) clock = MonotonicNanoseconds;
  return std::make_unique<ProcCounterQuery>(std::move(fd), std::move(clock));
}

}  // namespace platform
