#include "perf_monitor/run_chart.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 420;
constexpr double kLeft = 60, kRight = 860, kTop = 50, kBottom = 370;
constexpr int32_t kNoReading = -999;

// Text as XML character data: the markup characters escaped, anything outside printable ASCII
// replaced, so the file is valid whatever bytes a name holds.
std::string XmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

class Scale {
 public:
  Scale(int64_t end_ms, int32_t top_percent) : end_ms_(end_ms), top_(top_percent) {}
  double X(int64_t ms) const {
    return kLeft +
           (kRight - kLeft) * static_cast<double>(std::clamp<int64_t>(ms, 0, end_ms_)) / static_cast<double>(end_ms_);
  }
  double Y(int32_t percent) const { return kBottom - (kBottom - kTop) * percent / top_; }
  int64_t end_ms() const { return end_ms_; }
  int32_t top() const { return top_; }

 private:
  int64_t end_ms_;
  int32_t top_;
};

Scale ScaleFor(const RunChart& chart) {
  int64_t end_ms = 1000;
  int32_t top = 100;
  for (const ChartSample& sample : chart.samples) {
    end_ms = std::max(end_ms, sample.ms);
    top = std::max({top, sample.cpu_percent, sample.mem_percent});
  }
  for (const ChartRun& run : chart.runs) end_ms = std::max(end_ms, run.finish_ms);
  return Scale(end_ms, (top + 9) / 10 * 10);
}

std::string Axes(const Scale& scale) {
  std::string out = "<g stroke=\"#888\" stroke-width=\"1\" font-size=\"12\" fill=\"#333\">\n";
  for (int32_t percent = 0; percent <= scale.top(); percent += 25) {
    const std::string y = Number(scale.Y(percent));
    out += "<line x1=\"" + Number(kLeft) + "\" y1=\"" + y + "\" x2=\"" + Number(kRight) + "\" y2=\"" + y +
           "\" stroke-dasharray=\"2,4\"/>\n";
    out += "<text x=\"" + Number(kLeft - 8) + "\" y=\"" + y + "\" text-anchor=\"end\" stroke=\"none\">" +
           std::to_string(percent) + "%</text>\n";
  }
  const int64_t step_s = std::max<int64_t>(1, scale.end_ms() / 1000 / 10);
  for (int64_t second = 0; second * 1000 <= scale.end_ms(); second += step_s) {
    out += "<text x=\"" + Number(scale.X(second * 1000)) + "\" y=\"" + Number(kBottom + 18) +
           "\" text-anchor=\"middle\" stroke=\"none\">" + std::to_string(second) + " s</text>\n";
  }
  out += "<rect x=\"" + Number(kLeft) + "\" y=\"" + Number(kTop) + "\" width=\"" + Number(kRight - kLeft) +
         "\" height=\"" + Number(kBottom - kTop) + "\" fill=\"none\"/>\n";
  return out + "</g>\n";
}

std::string Runs(const RunChart& chart, const Scale& scale) {
  std::string out;
  for (const ChartRun& run : chart.runs) {
    const double x = scale.X(run.launch_ms);
    out += "<rect class=\"engine-run\" x=\"" + Number(x) + "\" y=\"" + Number(kTop) + "\" width=\"" +
           Number(std::max(1.0, scale.X(run.finish_ms) - x)) + "\" height=\"" + Number(kBottom - kTop) +
           "\" fill=\"#f2c14e\" fill-opacity=\"0.4\"/>\n";
  }
  return out;
}

// One polyline per stretch of good readings.
std::string Line(const RunChart& chart, const Scale& scale, int32_t ChartSample::*percent, const char* colour) {
  std::string out, points;
  auto flush = [&] {
    if (!points.empty()) {
      out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\" points=\"" + points +
             "\"/>\n";
    }
    points.clear();
  };
  for (const ChartSample& sample : chart.samples) {
    if (sample.*percent == kNoReading) {
      flush();
      continue;
    }
    if (!points.empty()) points += ' ';
    points += Number(scale.X(sample.ms)) + "," + Number(scale.Y(sample.*percent));
  }
  flush();
  return out;
}

std::string Legend() {
  return "<g font-size=\"12\">\n"
         "<rect x=\"600\" y=\"14\" width=\"14\" height=\"4\" fill=\"#d1495b\"/>"
         "<text x=\"620\" y=\"20\">processor %</text>\n"
         "<rect x=\"710\" y=\"14\" width=\"14\" height=\"4\" fill=\"#00798c\"/>"
         "<text x=\"730\" y=\"20\">committed memory %</text>\n"
         "<rect x=\"600\" y=\"28\" width=\"14\" height=\"10\" fill=\"#f2c14e\" fill-opacity=\"0.4\"/>"
         "<text x=\"620\" y=\"37\">engine running</text>\n"
         "</g>\n";
}

}  // namespace

std::string RunChartSvg(const RunChart& chart) {
  const Scale scale = ScaleFor(chart);
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", chart.elapsed_seconds);
  const std::string title = "Performance of " + XmlText(chart.engine_name) + ", engine time " + elapsed + " seconds";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight) + "\" viewBox=\"0 0 " +
         std::to_string(kWidth) + " " + std::to_string(kHeight) +
         "\" font-family=\"sans-serif\">\n"
         "<title>" +
         title +
         "</title>\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
         "<text x=\"" +
         Number(kLeft) + "\" y=\"30\" font-size=\"16\">" + title + "</text>\n" + Legend() + Runs(chart, scale) +
         Axes(scale) + Line(chart, scale, &ChartSample::cpu_percent, "#d1495b") +
         Line(chart, scale, &ChartSample::mem_percent, "#00798c") + "</svg>\n";
}
