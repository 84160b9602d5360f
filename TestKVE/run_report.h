// What the run report pages show: the run's records (the same as /JSON writes), how the run
// ended, and the monitor's samples when /PERFMON ran. The pages are made from this model alone;
// nothing reads back a file the run wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/run_record.h"
#include "perf_monitor/run_chart.h"

struct RunReport {
  RunDescription run;
  std::span<const PassRecord> passes;  ///< the measured passes, warm-up passes left out
  size_t warm_ups = 0;                 ///< the warm-up passes that ran before them
  int64_t end_unix_ms = 0;
  int exit_status = 0;
  int stop_signal = 0;              ///< the signal that stopped the run, 0 when it ran to its end
  std::optional<RunChart> monitor;  ///< when /PERFMON sampled
};

/// The failed passes a page lists; the rest are counted.
inline constexpr size_t kListedFailures = 100;

/// A table of plain text (each format escapes it its own way).
struct TextTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<bool> numeric;  ///< per column: right-aligned figures
};

/// What is known of the run, as label and value: command line, engine, its version, build and
/// digest, host, start, end, seed (when there is one), exit status, harness version.
std::vector<std::pair<std::string, std::string>> RunFacts(const RunReport& report);

/// "200 passes, 3 failed" (singular for one), and ", after 2 warm-up passes" when there were.
std::string Headline(const RunReport& report);

/// ", after 2 warm-up passes" when warm-up passes ran first; else empty.
std::string WarmUpNote(const RunReport& report);

/// How the run ended, when a stop signal ended it: "Stopped by SIGTERM after 37 passes."; else
/// empty.
std::string InterruptionNote(const RunReport& report);

/// The number of passes that did not run or did not succeed.
size_t FailureCount(std::span<const PassRecord> passes);

/// Results by name and their counts.
TextTable ResultTable(const RunReport& report);

/// Wall, user and system time and peak memory of the passes whose engine ran: min, median (p50),
/// p90, p95, p99, mean ± sd, max.
TextTable FigureTable(const RunReport& report);

/// The first kListedFailures failed passes, in pass order.
std::vector<const PassRecord*> ListedFailures(const RunReport& report);

/// The first kListedFailures failed passes: pass, result, wall time, peak memory; a row for
/// each of ListedFailures, in its order.
TextTable FailureTable(const RunReport& report);

/// The growth warning of /SUMMARY without its line feed; empty when there is none.
std::string GrowthWarning(const RunReport& report);

/// The outlier warning of /SUMMARY without its line feed; empty when there is none.
std::string OutlierNote(const RunReport& report);
