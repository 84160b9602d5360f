// A picture of a monitored run as a plain SVG file: the machine's processor and committed-memory
// percent and the engine's own processor percent, the engine's resident memory, and I/O,
// against time, with the engine's runs shaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The engine's own figures at one sample, while it runs.
struct EngineFigures {
  int pid = 0;
  double cpu_percent = 0;  ///< of one core, since the sample before (or the launch)
  std::optional<int64_t> resident_bytes;
  std::optional<double> read_bytes_per_second;
  std::optional<double> written_bytes_per_second;
};

struct ChartSample {
  int64_t ms = 0;                       ///< since the monitor start
  int32_t cpu_percent = 0;              ///< -999 when the reading failed
  int32_t mem_percent = 0;              ///< -999 when the reading failed
  int64_t io_bytes = -999;              ///< of every process, per second; -999 when the reading failed
  std::optional<EngineFigures> engine;  ///< none while no engine runs
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

/// The chart as an <svg> element that an HTML page can hold inline (no scripts, no outside
/// references): three panels over one time axis. Failed readings and samples without an
/// engine break their line; every run is one shaded rectangle of class "engine-run" in the
/// first panel (and a plain one in the others).
std::string RunChartSvgElement(const RunChart& chart);

/// The same as a standalone SVG document.
std::string RunChartSvg(const RunChart& chart);
