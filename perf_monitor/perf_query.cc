#include "perf_monitor/perf_query.h"

#include <algorithm>
#include <utility>

PerfQuery::PerfQuery() : open_([] { return platform::CounterQuery::Open(); }) {}

PerfQuery::PerfQuery(QueryOpener open) : open_(std::move(open)) {}

bool PerfQuery::Init() {
  query_ = open_();
  return query_ != nullptr;
}

int32_t PerfQuery::AddCounter(const char* path) {
  if (!query_ || path == nullptr) return -1;
  const int32_t handle = query_->AddCounter(path);
  if (handle < 0) return -1;
  PerfCounter& counter = counters_.emplace_back();
  counter.id = next_id_++;
  counter.counter = handle;
  return counter.id;
}

bool PerfQuery::RemoveCounter(int32_t id) {
  PerfCounter* counter = Find(id);
  return counter != nullptr && query_->RemoveCounter(counter->counter);
}

bool PerfQuery::Collect() { return query_ && query_->Collect(); }

int64_t PerfQuery::GetValue(int32_t id) {
  PerfCounter* counter = Find(id);
  if (counter == nullptr) return kNoCounterValue;
  platform::CounterValue value;
  if (!query_->GetValue(counter->counter, &value) || value.status != platform::CounterStatus::kValid) {
    return kNoCounterValue;
  }
  counter->value = value.value;
  if (!query_->GetRawValue(counter->counter, &counter->ring[counter->next_slot])) return kNoCounterValue;
  counter->sample_count = std::min(counter->sample_count + 1, PerfCounter::kRingSize);
  counter->next_slot = (counter->next_slot + 1) % PerfCounter::kRingSize;
  if (counter->sample_count == PerfCounter::kRingSize) counter->first_slot = counter->next_slot;
  return counter->value;
}

bool PerfQuery::GetStatistics(int64_t* minimum, int64_t* maximum, int64_t* mean, int32_t id) const {
  const PerfCounter* counter = FindCounter(id);
  if (counter == nullptr) return false;
  platform::CounterStatistics statistics;
  if (!query_->ComputeStatistics(counter->counter, counter->first_slot, counter->sample_count, counter->ring,
                                 &statistics)) {
    return false;
  }
  auto part = [](const platform::CounterValue& value) {
    return value.status == platform::CounterStatus::kValid ? value.value : 0;
  };
  *minimum = part(statistics.min);
  *maximum = part(statistics.max);
  *mean = part(statistics.mean);
  return true;
}

void PerfQuery::Close() {
  query_.reset();
  counters_.clear();
}

const PerfCounter* PerfQuery::FindCounter(int32_t id) const {
  if (!query_) return nullptr;
  auto found =
      std::find_if(counters_.begin(), counters_.end(), [id](const PerfCounter& counter) { return counter.id == id; });
  return found == counters_.end() ? nullptr : &*found;
}

PerfCounter* PerfQuery::Find(int32_t id) { return const_cast<PerfCounter*>(std::as_const(*this).FindCounter(id)); }
