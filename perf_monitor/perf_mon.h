// The monitor thread: it samples five counters about once a second, writes a line per sample
// and, when told to stop, the performance report and a picture of the run.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

/// What the monitor needs to know about the run it watches.
struct PerfMonSetup {
  std::string proc_root = "/proc";  ///< the counter tree
  std::string engine_name;          ///< named in the picture's title
  int harness_pid = 0;              ///< whose engines are watched; 0: this process
};

/// Where the monitor writes, relative to the current folder.
inline constexpr char kPerfReportFolder[] = "PerfReport";
inline constexpr char kPerfLogPath[] = "PerfReport/perfCounter.log";
inline constexpr char kPerfCsvPath[] = "PerfReport/perfCounter.csv";
inline constexpr char kPerfSvgPath[] = "PerfReport/perfCounter.svg";

/// The counter tree the harness watches: TESTKVE_PROC_ROOT when set and not empty, else /proc.
std::string ProcRootFromEnvironment();

/// The running monitor thread, owned by the run it watches.
class PerfMonitor {
  struct StartOnly {};  // only Start makes one

 public:
  explicit PerfMonitor(StartOnly) {}

  /// The monitor start: turns the monitor on, makes the report folder (printing "Failed to
  /// create directory." when it cannot), opens the log, makes the stop event non-signalled and
  /// starts the monitor thread. The caller's settling pause is its own. Null when the thread
  /// cannot start (said on standard error; the monitor is then off).
  static std::unique_ptr<PerfMonitor> Start(const PerfMonSetup& setup);

  /// Waits until a monitor that was told to stop (PerfStopEvent) has written its report; a
  /// monitor that was never told to stop ends without one. So the report rules hold on every
  /// way the run ends.
  ~PerfMonitor();
  PerfMonitor(const PerfMonitor&) = delete;
  PerfMonitor& operator=(const PerfMonitor&) = delete;

 private:
  std::atomic<bool> end_without_report_{false};
  std::thread thread_;
};

/// The thread routine: 1 after a report, 0 when no counter query could be opened (then
/// PerfMonEnabled is cleared) or when it was ended (`end_without_report`) without a report.
int PerfMon(const PerfMonSetup& setup, const std::atomic<bool>& end_without_report);
