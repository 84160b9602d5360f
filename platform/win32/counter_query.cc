#include "platform/counter_query.h"

#include <windows.h>

// After windows.h, whose types they use.
#include <pdh.h>
#include <pdhmsg.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/counter_statistics.h"
#include "platform/win32/counter_add.h"
#include "platform/win32/handle.h"

namespace platform {
namespace {

constexpr std::string_view kKnownPaths[] = {kProcessorTimePath, kCommittedInUsePath, kIoBytesPath, kIoOperationsPath,
                                            kCommittedBytesPath};

// PDH.DLL is loaded when a query is opened, and its entry points are bound by name: a system
// without it gets no query rather than a program that does not start.
class PdhLibrary {
 public:
  static std::unique_ptr<const PdhLibrary> Load() {
    HMODULE module = LoadLibraryA("pdh.dll");
    if (module == nullptr) return nullptr;
    auto library = std::make_unique<PdhLibrary>(module);
    if (!library->Bind()) return nullptr;
    return library;
  }

  explicit PdhLibrary(HMODULE module) : module_(module) {}
  ~PdhLibrary() { FreeLibrary(module_); }
  PdhLibrary(const PdhLibrary&) = delete;
  PdhLibrary& operator=(const PdhLibrary&) = delete;

  decltype(&PdhOpenQueryA) open_query = nullptr;
  decltype(&PdhAddCounterW) add_counter = nullptr;
  decltype(&PdhAddEnglishCounterW) add_english_counter = nullptr;
  decltype(&PdhRemoveCounter) remove_counter = nullptr;
  decltype(&PdhCollectQueryData) collect_query_data = nullptr;
  decltype(&PdhGetRawCounterValue) get_raw_counter_value = nullptr;
  decltype(&PdhCalculateCounterFromRawValue) calculate_counter_from_raw_value = nullptr;
  decltype(&PdhCloseQuery) close_query = nullptr;

 private:
  template <typename Function>
  bool BindOne(const char* name, Function* function) {
    // Through the generic function type, which converts to any other without a warning.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    return *function != nullptr;
  }

  bool Bind() {
    return BindOne("PdhOpenQueryA", &open_query) && BindOne("PdhAddCounterW", &add_counter) &&
           BindOne("PdhAddEnglishCounterW", &add_english_counter) && BindOne("PdhRemoveCounter", &remove_counter) &&
           BindOne("PdhCollectQueryData", &collect_query_data) &&
           BindOne("PdhGetRawCounterValue", &get_raw_counter_value) &&
           BindOne("PdhCalculateCounterFromRawValue", &calculate_counter_from_raw_value) &&
           BindOne("PdhCloseQuery", &close_query);
  }

  HMODULE module_;
};

CounterValue Invalid() { return {CounterStatus::kInvalidData, 0}; }

bool ValidStatus(DWORD status) { return status == PDH_CSTATUS_VALID_DATA || status == PDH_CSTATUS_NEW_DATA; }

// PDH stamps readings in 100-nanosecond units of the system clock.
RawCounterSample FromPdh(const PDH_RAW_COUNTER& raw) {
  const int64_t stamp = (static_cast<int64_t>(raw.TimeStamp.dwHighDateTime) << 32) | raw.TimeStamp.dwLowDateTime;
  return {ValidStatus(raw.CStatus) ? CounterStatus::kValid : CounterStatus::kInvalidData, stamp * 100, raw.FirstValue,
          raw.SecondValue};
}

PDH_RAW_COUNTER ToPdh(const RawCounterSample& sample) {
  PDH_RAW_COUNTER raw{};
  raw.CStatus = sample.status == CounterStatus::kValid ? PDH_CSTATUS_VALID_DATA : PDH_CSTATUS_INVALID_DATA;
  const auto stamp = static_cast<uint64_t>(sample.time_stamp_ns / 100);
  raw.TimeStamp.dwLowDateTime = static_cast<DWORD>(stamp & 0xFFFFFFFFu);
  raw.TimeStamp.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
  raw.FirstValue = sample.first_value;
  raw.SecondValue = sample.second_value;
  raw.MultiCount = 1;
  return raw;
}

CounterValue FromFormatted(PDH_STATUS call, const PDH_FMT_COUNTERVALUE& value) {
  if (call != ERROR_SUCCESS || !ValidStatus(value.CStatus)) return Invalid();
  return {CounterStatus::kValid, value.largeValue};
}

// One counter of the query. A known path that the system has no counter for (Wine has only the
// processor's) keeps its handle and reads as a source that cannot be read: no data.
struct Counter {
  PDH_HCOUNTER pdh = nullptr;
  bool rate = false;  // a value needs two readings
  bool removed = false;
  RawCounterSample previous;
  RawCounterSample current;
};

class PdhCounterQuery final : public CounterQuery {
 public:
  PdhCounterQuery(std::unique_ptr<const PdhLibrary> pdh, PDH_HQUERY query) : pdh_(std::move(pdh)), query_(query) {}
  ~PdhCounterQuery() override { pdh_->close_query(query_); }

  int32_t AddCounter(std::string_view path) override {
    if (std::find(std::begin(kKnownPaths), std::end(kKnownPaths), path) == std::end(kKnownPaths)) return -1;
    Counter counter;
    counter.rate = path == kProcessorTimePath || path == kIoBytesPath || path == kIoOperationsPath;
    const std::wstring wide_path = win32::Widen(path);
    const PDH_STATUS added = win32::AddLocalizedOrEnglish(
        [&] { return pdh_->add_counter(query_, wide_path.c_str(), 0, &counter.pdh); },
        [&] { return pdh_->add_english_counter(query_, wide_path.c_str(), 0, &counter.pdh); });
    if (added != ERROR_SUCCESS) counter.pdh = nullptr;
    counters_.push_back(counter);
    return static_cast<int32_t>(counters_.size() - 1);
  }

  bool RemoveCounter(int32_t handle) override {
    Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    if (counter->pdh != nullptr) pdh_->remove_counter(counter->pdh);
    counter->pdh = nullptr;
    counter->removed = true;
    return true;
  }

  bool Collect() override {
    bool any = false, readable = false;
    for (const Counter& counter : counters_) {
      any |= !counter.removed;
      readable |= !counter.removed && counter.pdh != nullptr;
    }
    if (!any) return false;
    const bool collected = readable && pdh_->collect_query_data(query_) == ERROR_SUCCESS;
    for (Counter& counter : counters_) {
      if (counter.removed) continue;
      counter.previous = counter.current;
      counter.current = RawCounterSample{};
      PDH_RAW_COUNTER raw{};
      if (collected && counter.pdh != nullptr &&
          pdh_->get_raw_counter_value(counter.pdh, nullptr, &raw) == ERROR_SUCCESS) {
        counter.current = FromPdh(raw);
      }
    }
    return collected;
  }

  bool GetValue(int32_t handle, CounterValue* value) const override {
    const Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    if (counter->current.status != CounterStatus::kValid || counter->pdh == nullptr) {
      *value = {counter->current.status, 0};
      return true;
    }
    *value = ValueOf(*counter, counter->current, counter->previous);
    return true;
  }

  bool GetRawValue(int32_t handle, RawCounterSample* sample) const override {
    const Counter* counter = Find(handle);
    if (counter == nullptr) return false;
    *sample = counter->current;
    return true;
  }

  // Each value through PDH's own calculation, the statistics over them as on every system
  // (PdhComputeCounterStatistics is missing under Wine). A rate gives one value per pair of
  // neighbouring valid samples, any other counter one per valid sample.
  bool ComputeStatistics(int32_t handle, int32_t first, int32_t count, std::span<const RawCounterSample> ring,
                         CounterStatistics* statistics) const override {
    const Counter* counter = Find(handle);
    const auto size = static_cast<int64_t>(ring.size());
    if (counter == nullptr || first < 0 || count < 0 || count > size || (count > 0 && first >= size)) return false;
    *statistics = {Invalid(), Invalid(), Invalid()};
    if (counter->pdh == nullptr) return true;
    *statistics =
        StatisticsOverRing(ring, first, count, [&](const RawCounterSample& sample, const RawCounterSample* earlier) {
          return ValueOf(*counter, sample, earlier != nullptr ? *earlier : RawCounterSample{});
        });
    return true;
  }

 private:
  // The value of `current` (and, for a rate, of the reading before it) as PDH calculates it.
  CounterValue ValueOf(const Counter& counter, const RawCounterSample& current,
                       const RawCounterSample& previous) const {
    if (counter.rate && previous.status != CounterStatus::kValid) return Invalid();
    PDH_RAW_COUNTER now = ToPdh(current);
    PDH_RAW_COUNTER before = ToPdh(previous);
    PDH_FMT_COUNTERVALUE formatted{};
    const PDH_STATUS call = pdh_->calculate_counter_from_raw_value(counter.pdh, PDH_FMT_LARGE, &now,
                                                                   counter.rate ? &before : nullptr, &formatted);
    return FromFormatted(call, formatted);
  }

  const Counter* Find(int32_t handle) const {
    if (handle < 0 || static_cast<size_t>(handle) >= counters_.size()) return nullptr;
    const Counter& counter = counters_[static_cast<size_t>(handle)];
    return counter.removed ? nullptr : &counter;
  }
  Counter* Find(int32_t handle) { return const_cast<Counter*>(std::as_const(*this).Find(handle)); }

  std::unique_ptr<const PdhLibrary> pdh_;
  PDH_HQUERY query_;
  std::vector<Counter> counters_;
};

}  // namespace

// The live system's counters, through PDH, which keeps its own clock.
std::unique_ptr<CounterQuery> CounterQuery::Open() {
  std::unique_ptr<const PdhLibrary> pdh = PdhLibrary::Load();
  if (!pdh) return nullptr;
  PDH_HQUERY query = nullptr;
  if (pdh->open_query(nullptr, 0, &query) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<PdhCounterQuery>(std::move(pdh), query);
}

}  // namespace platform
