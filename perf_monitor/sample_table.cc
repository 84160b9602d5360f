#include "perf_monitor/sample_table.h"

#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "perf_monitor/perf_query.h"

namespace {

// A reading as a field: empty when it failed, so a spreadsheet sees a gap, not a value.
std::string Field(int64_t value) { return value == kNoCounterValue ? std::string() : std::to_string(value); }

template <typename T>
std::string Field(const std::optional<T>& value) {
  if (!value) return {};
  if constexpr (std::is_floating_point_v<T>) {
    char text[40];
    std::snprintf(text, sizeof text, "%.1f", *value);
    return text;
  } else {
    return std::to_string(*value);
  }
}

// The engine's five columns, each after a comma.
std::string EngineFields(const std::optional<EngineFigures>& engine) {
  if (!engine) return ",,,,,";
  return "," + std::to_string(engine->pid) + "," + Field(std::optional<double>(engine->cpu_percent)) + "," +
         Field(engine->resident_bytes) + "," + Field(engine->read_bytes_per_second) + "," +
         Field(engine->written_bytes_per_second);
}

}  // namespace

bool SampleTable::Open(const char* path) {
  platform::Result<UniqueStream> created = CreateWriteStream(path);
  if (!created) {
    std::fprintf(stderr, "Perfmon: cannot open %s\n", created.error().text.c_str());
    return false;
  }
  file_ = std::move(*created);
  std::fputs(kHeader, file_.get());
  std::fflush(file_.get());
  return true;
}

void SampleTable::Add(int64_t ms, const PerfReading& reading, bool engine_running,
                      const std::optional<EngineFigures>& engine) {
  if (!file_) return;
  const std::string row = std::to_string(ms) + "," + Field(reading.cpu_percent) + "," + Field(reading.mem_percent) +
                          "," + Field(reading.io_bytes) + "," + Field(reading.io_operations) + "," +
                          Field(reading.committed_bytes) + "," + (engine_running ? "1" : "0") + EngineFields(engine) +
                          "\n";
  std::fputs(row.c_str(), file_.get());
  std::fflush(file_.get());
}
