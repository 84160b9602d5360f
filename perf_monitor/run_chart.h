// A picture of a monitored run as a plain SVG file: processor and committed-memory percent
// against time, with the engine's runs shaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ChartSample {
  int64_t ms = 0;           ///< since the monitor start
  int32_t cpu_percent = 0;  ///< -999 when the reading failed
  int32_t mem_percent = 0;  ///< -999 when the reading failed
};

/// One engine run between its launch and finish marks, in ms since the monitor start.
struct ChartRun {
  int64_t launch_ms = 0;
  int64_t finish_ms = 0;
};

struct RunChart {
  std::string engine_name;
  double elapsed_seconds = 0;
  std::vector<ChartSample> samples;
  std::vector<ChartRun> runs;
};

/// The chart as a standalone SVG document (no scripts, no outside references). Failed readings
/// break their line; every run is one shaded rectangle of class "engine-run".
std::string RunChartSvg(const RunChart& chart);
