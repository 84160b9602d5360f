#include "perf_monitor/perf_mon.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "perf_monitor/engine_sampler.h"
#include "perf_monitor/monitor_clock.h"
#include "perf_monitor/monitor_pace.h"
#include "perf_monitor/perf_figures.h"
#include "perf_monitor/perf_query.h"
#include "perf_monitor/run_chart.h"
#include "perf_monitor/sample_table.h"
#include "platform/counter_query.h"
#include "platform/process.h"
#include "platform/process_snapshot.h"
#include "platform/thread_id.h"
#include "platform/whole_file.h"

namespace {

struct CounterIds {
  int32_t cpu;
  int32_t mem_percent;
  int32_t io_bytes;
  int32_t io_operations;
  int32_t committed;
};

CounterIds AddMonitorCounters(PerfQuery& query) {
  // Braced initialisation runs in order, so the ids are 0 to 4 in table order.
  return {query.AddCounter(platform::kProcessorTimePath), query.AddCounter(platform::kCommittedInUsePath),
          query.AddCounter(platform::kIoBytesPath), query.AddCounter(platform::kIoOperationsPath),
          query.AddCounter(platform::kCommittedBytesPath)};
}

// Percentages and operation counts are 32-bit figures; anything beyond is no reading.
int32_t Narrow(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return static_cast<int32_t>(kNoCounterValue);
  return static_cast<int32_t>(value);
}

PerfReading ReadCounters(PerfQuery& query, const CounterIds& ids) {
  return {Narrow(query.GetValue(ids.cpu)), Narrow(query.GetValue(ids.mem_percent)), query.GetValue(ids.io_bytes),
          Narrow(query.GetValue(ids.io_operations)), query.GetValue(ids.committed)};
}

void CollectOrComplain(PerfQuery& query) {
  if (!query.Collect()) std::printf("PerfMon: Collect Query Data Fail\n");
}

void LogSample(PerfLog& log, const PerfReading& r) {
  log.Write("PerfMon: CPU=%d%%, MEM=%d%% (%" PRId64 " bytes), DATA=%" PRId64 " bytes (%d operations)\n", r.cpu_percent,
            r.mem_percent, r.committed_bytes, r.io_bytes, r.io_operations);
}

void WriteReport(const PerfFigures& figures, const PerfMonSetup& setup, MonitorState& state) {
  const RunChart chart = state.Chart(setup.engine_name);
  for (const std::string& line : figures.ReportLines(chart.elapsed_seconds)) state.log.Write("%s", line.c_str());
  platform::Error error;
  if (!ReplaceFileAtomically(kPerfSvgPath, RunChartSvg(chart), LinkRule::kRefuse, &error))
    std::fprintf(stderr, "Perfmon: cannot write %s: %s\n", kPerfSvgPath, error.text.c_str());
}

}  // namespace

int PerfMon(const PerfMonSetup& setup, MonitorState& state, const std::atomic<bool>& end_without_report) {
  const int thread_id = static_cast<int>(platform::CurrentThreadId());
  std::printf(">>> PerfMon Thread: %d\n", thread_id);
  PerfQuery query;
  if (!query.Init()) {
    std::printf("Perfmon: Initial PDH.DLL fail..\n");
    state.enabled.store(0, std::memory_order_relaxed);
    return 0;
  }
  const CounterIds ids = AddMonitorCounters(query);
  SampleTable table;
  table.Open(kPerfCsvPath);
  PerfFigures figures;
  CollectOrComplain(query);
  figures.TakeInitial(ReadCounters(query, ids));
  const int harness_pid = setup.harness_pid != 0 ? setup.harness_pid : static_cast<int>(platform::CurrentProcessId());
  EngineSampler engine_sampler(EngineFinder(platform::ProcessTable::Open(), harness_pid));
  do {
    CollectOrComplain(query);
    const PerfReading reading = ReadCounters(query, ids);
    LogSample(state.log, reading);
    const bool engine_running = state.engine_running.load(std::memory_order_relaxed) != 0;
    figures.TakeSample(reading, engine_running);
    const int64_t ms = state.marks.SinceStartMs();
    std::optional<EngineFigures> engine;
    if (engine_running) engine = engine_sampler.Take(ms, state.marks.LastLaunchMs());
    table.Add(ms, reading, engine_running, engine);
    state.samples.Add({ms, reading.cpu_percent, reading.mem_percent, reading.io_bytes, engine});
  } while (!state.stop.WaitFor(CurrentMonitorPace().sample));
  if (end_without_report.load()) return 0;
  WriteReport(figures, setup, state);
  std::printf("<<< PerfMon Thread: %d\n", thread_id);
  return 1;
}

std::unique_ptr<PerfMonitor> PerfMonitor::Start(const PerfMonSetup& setup) {
  auto monitor = std::make_unique<PerfMonitor>(StartOnly{});
  MonitorState& state = monitor->state_;
  state.enabled.store(1, std::memory_order_relaxed);
  std::error_code error;
  if (!std::filesystem::is_directory(kPerfReportFolder, error) &&
      !std::filesystem::create_directory(kPerfReportFolder, error)) {
    std::printf("Failed to create directory.\n");
  }
  state.log.Open(kPerfLogPath);
  state.stop.Reset();
  state.marks.Start();
  state.samples.Clear();
  try {
    PerfMonitor* running = monitor.get();
    monitor->thread_ = std::thread([setup, running] { PerfMon(setup, running->state_, running->end_without_report_); });
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "Perfmon: cannot start the monitor thread: %s\n", failure.what());
    return nullptr;
  }
  return monitor;
}

PerfMonitor::~PerfMonitor() {
  if (!thread_.joinable()) return;
  if (!state_.stop.WaitFor(std::chrono::milliseconds(0))) {
    end_without_report_.store(true);
    state_.stop.Signal();
  }
  thread_.join();
}

void PerfMonitor::MarkLaunch() {
  if (!on()) return;
  int32_t stamp = 0;
  state_.launch_stamp_ms.store(CurrentTimeMs(&stamp), std::memory_order_relaxed);
  state_.marks.MarkLaunch();
  state_.log.Write("KVE Launch\n");
  state_.engine_running.store(1, std::memory_order_relaxed);
}

void PerfMonitor::MarkFinish() {
  if (!on()) return;
  int32_t stamp = 0;
  state_.finish_stamp_ms.store(CurrentTimeMs(&stamp), std::memory_order_relaxed);
  state_.marks.MarkFinish();
  state_.log.Write("KVE Finished\n");
  state_.engine_running.store(0, std::memory_order_relaxed);
}
