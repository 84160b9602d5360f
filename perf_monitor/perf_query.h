// The monitor's counter query: counters by path with small integer ids, their current values,
// and a ring of the last 20 raw samples of each for statistics.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/counter_query.h"

/// The value returned wherever a counter has no value.
inline constexpr int64_t kNoCounterValue = -999;

/// One counter of a PerfQuery and its ring of raw samples.
struct PerfCounter {
  static constexpr int32_t kRingSize = 20;

  int32_t id = 0;            ///< 0, 1, 2, ... in the order of successful adds; never reused
  int64_t value = 0;         ///< the last good value read; 0 until the first one
  int32_t counter = -1;      ///< the query's handle
  int32_t next_slot = 0;     ///< ring slot the next raw sample goes into
  int32_t first_slot = 0;    ///< ring slot of the oldest sample
  int32_t sample_count = 0;  ///< valid samples in the ring, 0 to 20
  std::array<platform::RawCounterSample, kRingSize> ring{};
};

/// Owns one counter query and the counters added to it. Call order: Init, AddCounter for each
/// counter, then Collect followed by GetValue for each id, any number of times; Close last
/// (destruction closes too). Reports only through its results; never prints.
class PerfQuery {
 public:
  using QueryOpener = std::function<std::unique_ptr<platform::CounterQuery>()>;

  /// A query over the live system's counters.
  PerfQuery();
  /// A query that `open` makes at Init.
  explicit PerfQuery(QueryOpener open);

  /// Opens the query; false when it cannot be opened (the counter tree has no `stat`).
  bool Init();

  /// Adds the counter at `path`; its id, or -1 when the query refuses the path (or is not
  /// open). A refused add consumes no id.
  int32_t AddCounter(const char* path);

  /// Removes the counter from the query; false for an unknown id. The id stays taken and its
  /// readings are -999 from then on.
  bool RemoveCounter(int32_t id);

  /// Takes one sample of every counter; false when the query could not collect.
  bool Collect();

  /// The counter's value from the last Collect, kept with its raw sample in the ring; -999 for an
  /// unknown id, and when the query has no valid value (a rate after one collection, a failed
  /// reading), in which case the stored value and the ring stay as they were.
  int64_t GetValue(int32_t id);

  /// Minimum, maximum and mean over the counter's ring; a part without a value is 0. False for
  /// an unknown id or when the query cannot compute them; the outputs are then untouched.
  bool GetStatistics(int64_t* minimum, int64_t* maximum, int64_t* mean, int32_t id) const;

  /// Closes the query and drops every counter. Nothing but destruction may follow.
  void Close();

  /// The counter with `id`, or null; for inspection.
  const PerfCounter* FindCounter(int32_t id) const;

 private:
  PerfCounter* Find(int32_t id);

  QueryOpener open_;
  std::unique_ptr<platform::CounterQuery> query_;
  std::vector<PerfCounter> counters_;
  int32_t next_id_ = 0;
};
