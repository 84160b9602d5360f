// A live query of system performance counters, named by their counter paths.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

/// The counter paths a query knows. Rates (processor time, I/O per second) need two
/// collections; the memory counters are valid from the first.
inline constexpr char kProcessorTimePath[] = "\\Processor(_Total)\\% Processor Time";
inline constexpr char kCommittedInUsePath[] = "\\Memory\\% Committed Bytes In Use";
inline constexpr char kIoBytesPath[] = "\\Process(_Total)\\IO Data Bytes/sec";
inline constexpr char kIoOperationsPath[] = "\\Process(_Total)\\IO Data Operations/sec";
inline constexpr char kCommittedBytesPath[] = "\\Memory\\Committed Bytes";

/// The state of one reading.
enum class CounterStatus {
  kValid,        ///< a value computed from good readings
  kInvalidData,  ///< no value: a rate after one collection only, or a negative difference
  kNoData,       ///< the source could not be read, or nothing was collected yet
};

/// One raw reading as a collection took it. What the two values mean depends on the counter:
/// processor time: busy and total clock ticks; committed in use: Committed_AS and CommitLimit
/// in bytes; committed bytes: Committed_AS in bytes; I/O rates: the bytes or operations the
/// query has counted so far (the base is the time stamp).
struct RawCounterSample {
  CounterStatus status = CounterStatus::kNoData;
  int64_t time_stamp_ns = 0;  ///< the query clock at the collection
  int64_t first_value = 0;
  int64_t second_value = 0;
};

/// A value computed from raw readings.
struct CounterValue {
  CounterStatus status = CounterStatus::kNoData;
  int64_t value = 0;
};

/// Minimum, maximum and mean of the values that a window of raw samples gives.
struct CounterStatistics {
  CounterValue min;
  CounterValue max;
  CounterValue mean;
};

/// A query over a set of counters. Each Collect takes one raw reading of every counter; values
/// are computed from a counter's last two readings. Not thread-safe; one owner.
class CounterQuery {
 public:
  /// Monotonic nanoseconds; the time base of the rates.
  using Clock = std::function<int64_t()>;

  virtual ~CounterQuery() = default;

  /// Opens a query over the live system's counters, timed by the system's monotonic clock.
  /// Null when the system's counters cannot be read.
  static std::unique_ptr<CounterQuery> Open();

  /// Adds the counter at `path` (one of the paths above) and returns its handle (>= 0), or -1
  /// for a path the query does not know.
  virtual int32_t AddCounter(std::string_view path) = 0;

  /// Removes a counter from the query; false for a handle that is not in it. Later calls with
  /// the handle fail.
  virtual bool RemoveCounter(int32_t handle) = 0;

  /// Takes one reading of every counter. A process whose I/O figures cannot be read (another
  /// user's, or gone) is left out. False when the query has no counters, or when none of the
  /// sources its counters need could be read.
  virtual bool Collect() = 0;

  /// The counter's value from its last two readings; false for an unknown handle.
  virtual bool GetValue(int32_t handle, CounterValue* value) const = 0;

  /// The counter's last raw reading; false for an unknown handle.
  virtual bool GetRawValue(int32_t handle, RawCounterSample* sample) const = 0;

  /// Statistics over `count` samples of `ring` starting at slot `first` and wrapping around.
  /// A rate gives one value per pair of neighbouring valid samples, any other counter one per
  /// valid sample; a part with no value has status kInvalidData. False for an unknown handle or
  /// a window that does not fit the ring.
  virtual bool ComputeStatistics(int32_t handle, int32_t first, int32_t count, std::span<const RawCounterSample> ring,
                                 CounterStatistics* statistics) const = 0;
};

}  // namespace platform
