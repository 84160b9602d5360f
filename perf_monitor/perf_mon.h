// The monitor thread: it samples five counters about once a second, writes a line per sample
// and, when told to stop, the performance report and a picture of the run.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "perf_monitor/monitor_state.h"
#include "perf_monitor/run_chart.h"

/// What the monitor needs to know about the run it watches.
struct PerfMonSetup {
  std::string engine_name;  ///< named in the picture's title
  int harness_pid = 0;      ///< whose engines are watched; 0: this process
};

/// Where the monitor writes, relative to the current folder.
inline constexpr char kPerfReportFolder[] = "PerfReport";
inline constexpr char kPerfLogPath[] = "PerfReport/perfCounter.log";
inline constexpr char kPerfCsvPath[] = "PerfReport/perfCounter.csv";
inline constexpr char kPerfSvgPath[] = "PerfReport/perfCounter.svg";

/// The running monitor thread and the state it shares with the driver, owned by the run it
/// watches.
class PerfMonitor {
  struct StartOnly {};  // only Start makes one

 public:
  explicit PerfMonitor(StartOnly) {}

  /// The monitor start: turns the monitor on, makes the report folder (printing "Failed to
  /// create directory." when it cannot), opens the log, makes the stop event non-signalled and
  /// starts the monitor thread. The caller's settling pause is its own. Null when the thread
  /// cannot start (said on standard error; the monitor is then off).
  static std::unique_ptr<PerfMonitor> Start(const PerfMonSetup& setup);

  /// Waits until a monitor that was told to stop (Stop) has written its report; a monitor
  /// that was never told to stop ends without one. So the report rules hold on every way the
  /// run ends.
  ~PerfMonitor();
  PerfMonitor(const PerfMonitor&) = delete;
  PerfMonitor& operator=(const PerfMonitor&) = delete;

  /// Whether the monitor is on: false once its thread found no counter query to open.
  bool on() const { return state_.enabled.load(std::memory_order_relaxed) != 0; }
  /// Just before the engine runs: stamps the launch and logs "KVE Launch".
  void MarkLaunch();
  /// Just after the engine returned: stamps the finish and logs "KVE Finished".
  void MarkFinish();
  /// Tells the monitor thread to write its report and end.
  void Stop() { state_.stop.Signal(); }
  /// After Stop: returns once the report is written. The driver's pause for the report is the
  /// usual wait; on a loaded machine the report may take longer, and it must not run into the
  /// next pass's lines.
  void AwaitReport() {
    if (thread_.joinable()) thread_.join();
  }
  /// Whether the monitor has taken a sample yet.
  bool has_samples() const { return !state_.samples.empty(); }
  /// The picture of the run so far, named after `engine_name`.
  RunChart Chart(const std::string& engine_name) const { return state_.Chart(engine_name); }

 private:
  MonitorState state_;
  std::atomic<bool> end_without_report_{false};
  std::thread thread_;
};

/// The thread routine over the monitor's `state`: 1 after a report, 0 when no counter query
/// could be opened (then the state's enabled flag is cleared) or when it was ended
/// (`end_without_report`) without a report.
int PerfMon(const PerfMonSetup& setup, MonitorState& state, const std::atomic<bool>& end_without_report);
