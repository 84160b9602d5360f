#include "perf_monitor/sample_table.h"

#include <cstdio>
#include <string>

#include "perf_monitor/perf_query.h"

namespace {

// A reading as a field: empty when it failed, so a spreadsheet sees a gap, not a value.
std::string Field(int64_t value) { return value == kNoCounterValue ? std::string() : std::to_string(value); }

}  // namespace

bool SampleTable::Open(const char* path) {
  std::string error;
  file_ = CreateWriteStream(path, &error);
  if (!file_) {
    std::fprintf(stderr, "Perfmon: cannot open %s\n", error.c_str());
    return false;
  }
  std::fputs(kHeader, file_.get());
  std::fflush(file_.get());
  return true;
}

void SampleTable::Add(int64_t ms, const PerfReading& reading, bool engine_running) {
  if (!file_) return;
  const std::string row = std::to_string(ms) + "," + Field(reading.cpu_percent) + "," + Field(reading.mem_percent) +
                          "," + Field(reading.io_bytes) + "," + Field(reading.io_operations) + "," +
                          Field(reading.committed_bytes) + "," + (engine_running ? "1" : "0") + "\n";
  std::fputs(row.c_str(), file_.get());
  std::fflush(file_.get());
}
