// The statistics over a window of a ring of raw samples, as every counter query computes them
// once it can tell one value from a sample (and, for a rate, the valid sample before it).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "platform/counter_query.h"

namespace platform {

/// Minimum, maximum and mean of the values that `value_of(sample, earlier)` gives for each valid
/// sample of the `count` samples of `ring` from slot `first` (wrapping around); `earlier` is the
/// valid sample before it in the window, or null. All three have status kInvalidData when no
/// value is valid. The window must fit the ring.
template <typename ValueOf>
CounterStatistics StatisticsOverRing(std::span<const RawCounterSample> ring, int32_t first, int32_t count,
                                     const ValueOf& value_of) {
  int64_t low = 0, high = 0, values = 0;
  long double sum = 0;  // a sum of 64-bit figures may need more than 64 bits
  const RawCounterSample* earlier = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const RawCounterSample& sample = ring[static_cast<size_t>(first + i) % ring.size()];
    if (sample.status != CounterStatus::kValid) continue;
    const CounterValue value = value_of(sample, earlier);
    earlier = &sample;
    if (value.status != CounterStatus::kValid) continue;
    low = values == 0 ? value.value : std::min(low, value.value);
    high = values == 0 ? value.value : std::max(high, value.value);
    sum += static_cast<long double>(value.value);
    ++values;
  }
  constexpr CounterValue kNone{CounterStatus::kInvalidData, 0};
  if (values == 0) return {kNone, kNone, kNone};
  const int64_t mean = std::llround(static_cast<double>(sum / static_cast<long double>(values)));
  return {{CounterStatus::kValid, low}, {CounterStatus::kValid, high}, {CounterStatus::kValid, mean}};
}

}  // namespace platform
