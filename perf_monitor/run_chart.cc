#include "perf_monitor/run_chart.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "svg_plot/svg_plot.h"

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 640;
constexpr double kLeft = 70, kRight = 860;
constexpr int32_t kNoReading = -999;
constexpr double kBytesPerMiB = 1024.0 * 1024.0;

constexpr char kRunColour[] = "#f2c14e";
constexpr double kRunOpacity = 0.4;
constexpr char kCpuColour[] = "#d1495b";
constexpr char kMemoryColour[] = "#00798c";
constexpr char kEngineCpuColour[] = "#6a3d9a";
constexpr char kEngineMemoryColour[] = "#6a3d9a";
constexpr char kMachineIoColour[] = "#7a7a7a";
constexpr char kEngineReadColour[] = "#2e86ab";
constexpr char kEngineWriteColour[] = "#e07a1f";

using Figure = std::function<std::optional<double>(const ChartSample&)>;

std::optional<double> Percent(int32_t reading) {
  if (reading == kNoReading) return std::nullopt;
  return reading;
}

std::optional<double> EngineFigure(const ChartSample& sample, std::optional<double> EngineFigures::*field) {
  if (!sample.engine) return std::nullopt;
  return (*sample.engine).*field;
}

std::optional<double> MiB(std::optional<double> bytes) {
  if (!bytes) return std::nullopt;
  return *bytes / kBytesPerMiB;
}

const Figure kMachineCpu = [](const ChartSample& s) { return Percent(s.cpu_percent); };
const Figure kMachineMemory = [](const ChartSample& s) { return Percent(s.mem_percent); };
const Figure kEngineCpu = [](const ChartSample& s) -> std::optional<double> {
  if (!s.engine) return std::nullopt;
  return s.engine->cpu_percent;
};
const Figure kEngineResidentMiB = [](const ChartSample& s) -> std::optional<double> {
  if (!s.engine || !s.engine->resident_bytes) return std::nullopt;
  return static_cast<double>(*s.engine->resident_bytes) / kBytesPerMiB;
};
const Figure kMachineIoMiB = [](const ChartSample& s) -> std::optional<double> {
  if (s.io_bytes == kNoReading) return std::nullopt;
  return static_cast<double>(s.io_bytes) / kBytesPerMiB;
};
const Figure kEngineReadMiB = [](const ChartSample& s) {
  return MiB(EngineFigure(s, &EngineFigures::read_bytes_per_second));
};
const Figure kEngineWrittenMiB = [](const ChartSample& s) {
  return MiB(EngineFigure(s, &EngineFigures::written_bytes_per_second));
};

struct Series {
  const Figure* figure;
  std::string label;
  const char* colour;
  const char* dash;
};

struct Panel {
  std::string title;
  double top, bottom;
  double y_floor;  ///< the y axis reaches at least this far
  std::string y_unit;
  int y_decimals;
  std::vector<Series> series;
};

double EndMs(const RunChart& chart) {
  int64_t end_ms = 1000;
  for (const ChartSample& sample : chart.samples) end_ms = std::max(end_ms, sample.ms);
  for (const ChartRun& run : chart.runs) end_ms = std::max(end_ms, run.finish_ms);
  return static_cast<double>(end_ms) / 1000;
}

double HighestValue(const RunChart& chart, const Panel& panel) {
  double top = panel.y_floor;
  for (const Series& series : panel.series) {
    for (const ChartSample& sample : chart.samples) top = std::max(top, (*series.figure)(sample).value_or(0));
  }
  return top;
}

std::string DrawPanel(const RunChart& chart, const Panel& panel, bool classed_runs) {
  const double end_s = EndMs(chart);
  const double y_max = svg::NiceCeiling(HighestValue(chart, panel), 4);
  const svg::PlotArea area{kLeft, panel.top, kRight, panel.bottom, 0, end_s, 0, y_max};
  std::string out;
  for (const ChartRun& run : chart.runs) {
    out += svg::Rectangle(area, static_cast<double>(run.launch_ms) / 1000, static_cast<double>(run.finish_ms) / 1000, 0,
                          y_max, kRunColour, kRunOpacity, classed_runs ? "engine-run" : "");
  }
  svg::AxisLabels labels;
  labels.x_step = svg::NiceStep(end_s, 10);
  labels.y_step = svg::NiceStep(y_max, 4);
  labels.x_unit = " s";
  labels.y_unit = panel.y_unit;
  labels.y_decimals = labels.y_step < 1 ? 1 : 0;
  labels.y_title = panel.title;
  out += svg::Axes(area, labels);
  std::vector<svg::LegendEntry> legend;
  for (const Series& series : panel.series) {
    std::vector<svg::LinePoint> points;
    for (const ChartSample& sample : chart.samples)
      points.push_back({static_cast<double>(sample.ms) / 1000, (*series.figure)(sample)});
    out += svg::Line(area, points, series.colour, series.dash);
    legend.push_back({series.label, series.colour, series.dash});
  }
  return out + svg::Legend(kRight - svg::LegendWidth(legend), panel.top - 6, legend);
}

std::vector<Panel> Panels() {
  return {
      {"Processor and committed memory, %",
       70,
       260,
       100,
       "%",
       0,
       {{&kMachineCpu, "processor", kCpuColour, ""},
        {&kMachineMemory, "committed memory", kMemoryColour, ""},
        {&kEngineCpu, "engine processor (of one core)", kEngineCpuColour, "6,3"}}},
      {"Engine resident memory, MiB",
       310,
       430,
       1,
       " MiB",
       0,
       {{&kEngineResidentMiB, "engine resident memory", kEngineMemoryColour, ""}}},
      {"I/O, MiB/s",
       480,
       600,
       1,
       "",
       0,
       {{&kMachineIoMiB, "all processes", kMachineIoColour, ""},
        {&kEngineReadMiB, "engine read", kEngineReadColour, ""},
        {&kEngineWrittenMiB, "engine written", kEngineWriteColour, "6,3"}}},
  };
}

}  // namespace

std::string RunChartSvgElement(const RunChart& chart) {
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", chart.elapsed_seconds);
  const std::string title =
      "Performance of " + svg::TextEscaped(chart.engine_name) + ", engine time " + elapsed + " seconds";
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot\" width=\"" + std::to_string(kWidth) +
                    "\" height=\"" + std::to_string(kHeight) + "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                    std::to_string(kHeight) + "\" font-family=\"sans-serif\">\n<title>" + title +
                    "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n<text x=\"" + svg::Number(kLeft) +
                    "\" y=\"26\" font-size=\"16\">" + title + "</text>\n";
  const svg::LegendEntry run_entry{"engine running", kRunColour, "", true, kRunOpacity};
  out += svg::Legend(kRight - svg::LegendWidth({&run_entry, 1}), 26, {&run_entry, 1});
  bool first = true;
  for (const Panel& panel : Panels()) {
    out += DrawPanel(chart, panel, first);
    first = false;
  }
  return out + "</svg>\n";
}

std::string RunChartSvg(const RunChart& chart) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + RunChartSvgElement(chart);
}
