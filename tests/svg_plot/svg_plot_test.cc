// Plot drawing: round tick steps, scales that keep values inside the area, lines that break at
// missing values, and text that cannot become markup.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/text.h"
#include "svg_plot/svg_plot.h"

namespace {

TEST(SvgPlotTest, StepsAndCeilingsAreRoundNumbers) {
  struct Case {
    double range;
    int steps;
    double step;
    double ceiling;
  };
  // 100 in four: 25 is not 1, 2 or 5 times a power of ten, so 50.
  const Case cases[] = {
      {100, 4, 50, 100},        {9, 4, 5, 10},        {0.37, 4, 0.1, 0.4},
      {20000, 10, 2000, 20000}, {1234, 4, 500, 1500}, {7, 1, 10, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range);
    EXPECT_DOUBLE_EQ(c.step, svg::NiceStep(c.range, c.steps));
    EXPECT_NEAR(c.ceiling, svg::NiceCeiling(c.range, c.steps), 1e-9);
  }
  EXPECT_EQ(1, svg::NiceStep(0, 4));
  EXPECT_EQ(1, svg::NiceCeiling(-5, 4));
  EXPECT_EQ("0.0", svg::Number(-0.0));
}

TEST(SvgPlotTest, ValuesOutsideTheRangeStayInTheArea) {
  const svg::PlotArea area{10, 20, 110, 220, 0, 10, 0, 100};
  EXPECT_EQ(10, area.X(-5));
  EXPECT_EQ(110, area.X(50));
  EXPECT_EQ(60, area.X(5));
  EXPECT_EQ(220, area.Y(0));
  EXPECT_EQ(20, area.Y(1000));
  const svg::PlotArea flat{10, 20, 110, 220, 3, 3, 0, 0};
  EXPECT_EQ(10, flat.X(3));  // an empty range draws at its start, never divides by zero
}

TEST(SvgPlotTest, LinesBreakAtMissingValuesAndALonePointIsADot) {
  const svg::PlotArea area{0, 0, 100, 100, 0, 10, 0, 10};
  const std::vector<svg::LinePoint> points = {{0, 1}, {1, 2}, {2, std::nullopt}, {3, 4}, {4, std::nullopt}, {5, 5},
                                              {6, 6}, {7, 7}};
  const std::string line = svg::Line(area, points, "#123456", "4,2");
  EXPECT_EQ(2u, CountOf(line, "<polyline"));
  EXPECT_EQ(1u, CountOf(line, "<circle"));
  EXPECT_NE(std::string::npos, line.find("points=\"0.0,90.0 10.0,80.0\""));
  EXPECT_EQ(2u, CountOf(line, "stroke-dasharray=\"4,2\""));
  EXPECT_EQ("", svg::Line(area, std::vector<svg::LinePoint>{{1, std::nullopt}}, "#000"));
}

TEST(SvgPlotTest, BandGoesOutAlongTheTopAndBackAlongTheBottom) {
  const svg::PlotArea area{0, 0, 100, 100, 0, 10, 0, 10};
  const std::vector<double> x = {0, 10}, low = {1, 2}, high = {5, 6};
  EXPECT_NE(std::string::npos,
            svg::Band(area, x, low, high, "#000", 0.25).find("points=\"0.0,50.0 100.0,40.0 100.0,80.0 0.0,90.0\""));
  EXPECT_EQ("", svg::Band(area, {}, {}, {}, "#000", 0.25));
}

TEST(SvgPlotTest, TextNeverBecomesMarkup) {
  EXPECT_EQ("&lt;script&gt;a&amp;b&quot;??", svg::TextEscaped("<script>a&b\"\xff\x01"));
  const svg::LegendEntry entry{"<b>", "#000", ""};
  EXPECT_EQ(0u, CountOf(svg::Legend(0, 0, {&entry, 1}), "<b>"));
}

}  // namespace
