// The names of the histogram's marks: never over one another, inside the
// canvas, above the plot, and left out only when no row can take them.
#include "explore/histogram_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "designs.h"
#include "explore/yield.h"

namespace velmora::explore {
namespace {

using testing::Designed;
using testing::kDefault;

// A canvas: the SVG panel, the window's histogram at its smallest (the
// explorer's minimum client area leaves it about 484 x 101 pixels) and
// at a roomy size, each with the widths its renderer would give.
struct Canvas {
  const char* what;
  double width, height, line;
  double font;  // the names' widths: EstimatedTextWidth at this size
};
constexpr Canvas kCanvases[] = {
    {"svg panel",      800, 320, 16, 12},
    {"window minimum", 484, 101, 15, 13},
    {"window roomy",  1400, 420, 15, 13},
};

// Ten bins from 0 to 10, every bin counted once.
Histogram TenBins() {
  Histogram h;
  h.binning = {0, 1, 10};
  h.counts.bins.assign(10, 1);
  h.window = {3, 7};
  return h;
}

std::vector<Shape> Labels(const Histogram& h, const Canvas& c) {
  std::vector<Shape> labels;
  const auto width = [&c](std::string_view text) { return EstimatedTextWidth(text, c.font); };
  for (const Shape& s : LayOutHistogram(h, c.width, c.height, c.line, width))
    if (s.kind == Shape::Kind::Label) labels.push_back(s);
  return labels;
}

bool Intersect(const Shape& a, const Shape& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// The top of the plot: where the vertical axis starts.
double PlotTop(const Histogram& h, const Canvas& c) {
  for (const Shape& s : LayOutHistogram(h, c.width, c.height, c.line, [](std::string_view) { return 0.0; }))
    if (s.kind == Shape::Kind::Axis && s.x0 == s.x1) return s.y0;
  return -1;
}

// Every box inside the canvas, below the title line, above the plot, one
// line tall and as wide as its text; no two intersecting. Returns what is
// wrong, nothing when all is well (one check per layout keeps the sweep below quick).
std::string Misplaced(const Canvas& c, double top, const std::vector<Shape>& labels) {
  std::string wrong;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const Shape& a = labels[i];
    if (a.x0 < 0 || a.x1 > c.width) wrong += a.text + " beyond the canvas; ";
    if (a.y0 < 1.2 * c.line - 1e-9 || a.y1 > top) wrong += a.text + " outside the rows; ";
    if (std::abs(a.y1 - a.y0 - c.line) > 1e-9) wrong += a.text + " not a line tall; ";
    if (std::abs(a.x1 - a.x0 - EstimatedTextWidth(a.text, c.font)) > 1e-9) wrong += a.text + " not its width; ";
    for (std::size_t j = 0; j < i; ++j) {
      if (Intersect(a, labels[j])) wrong += a.text + " over " + labels[j].text + "; ";
    }
  }
  return wrong;
}

std::string Names(const std::vector<Shape>& labels) {
  std::string names;
  for (const Shape& s : labels) names += s.text + ";";
  return names;
}

TEST(MarkLabels, MarksAtOnePointStackInRowsAndTheLeastWantedGiveWay) {
  Histogram h = TenBins();
  h.nominal = h.worstMin = h.worstMax = h.p01 = h.p99 = 5;
  const struct {
    const Canvas& canvas;
    const char* names;  // in the order placed; the rest are left out
  } cases[] = {
      {kCanvases[0], "nominal;worst min;worst max;1 %;"},  // four rows: 99 % gives way
      {kCanvases[1], "nominal;"},                          // room for one row only
      {kCanvases[2], "nominal;worst min;worst max;1 %;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.canvas.what);
    const std::vector<Shape> labels = Labels(h, c.canvas);
    EXPECT_EQ(Names(labels), c.names);
    EXPECT_EQ(Misplaced(c.canvas, PlotTop(h, c.canvas), labels), "");
    const double x = 2.5 * c.canvas.line + 0.5 * (c.canvas.width - 4 * c.canvas.line);  // the mark's
    for (const Shape& s : labels) EXPECT_DOUBLE_EQ((s.x0 + s.x1) / 2, x) << s.text;
  }
}

TEST(MarkLabels, MarksFarApartShareTheRowNextToThePlot) {
  Histogram h = TenBins();
  h.worstMin = 0, h.p01 = 2.5, h.nominal = 5, h.p99 = 7.5, h.worstMax = 10;
  for (const Canvas& c : {kCanvases[0], kCanvases[2]}) {
    const std::vector<Shape> labels = Labels(h, c);
    ASSERT_EQ(labels.size(), 5u) << c.what;
    for (const Shape& s : labels) EXPECT_DOUBLE_EQ(s.y1, PlotTop(h, c) - 0.3 * c.line) << s.text;
    EXPECT_EQ(Misplaced(c, PlotTop(h, c), labels), "");
  }
}

// Every way of putting the five marks on four places, both ends and a close
// pair in the middle, on the SVG panel and the smallest window: the boxes never meet, and a name is left out only when
// every row holds a box it would come too close to (a quarter line).
TEST(MarkLabels, NoPlacementOverprintsOrLeavesOutANameThatFits) {
  const double places[] = {0, 4.95, 5, 10};
  for (const Canvas& c : {kCanvases[0], kCanvases[1]}) {
    SCOPED_TRACE(c.what);
    const double top = PlotTop(TenBins(), c);
    const int rows = static_cast<int>(std::lround((top - 1.5 * c.line) / c.line));
    ASSERT_GE(rows, 1);
    int left = 0;
    for (int code = 0; code < 4 * 4 * 4 * 4 * 4; ++code) {
      Histogram h = TenBins();
      double* values[] = {&h.nominal, &h.worstMin, &h.worstMax, &h.p01, &h.p99};
      for (int i = 0, rest = code; i < 5; ++i, rest /= 4) *values[i] = places[rest % 4];
      const std::vector<Shape> labels = Labels(h, c);
      EXPECT_EQ(Misplaced(c, top, labels), "") << code;
      ASSERT_FALSE(labels.empty());
      if (labels[0].text != "nominal") ADD_FAILURE() << "nominal left out or not first; code " << code;
      if (labels.size() == 5) continue;
      const char* names[] = {"nominal", "worst min", "worst max", "1 %", "99 %"};
      for (int i = 0; i < 5; ++i) {
        if (std::any_of(labels.begin(), labels.end(), [&](const Shape& s) { return s.text == names[i]; })) continue;
        ++left;
        // Where it would stand in each row: the rows it could take are all too close to another.
        const double w = EstimatedTextWidth(names[i], c.font);
        const double x0 = std::clamp(2.5 * c.line + *values[i] / 10 * (c.width - 4 * c.line) - w / 2, 0.0, c.width - w);
        for (int row = 0; row < rows; ++row) {
          const Shape wanted{Shape::Kind::Label, x0 - c.line / 4, top - 0.3 * c.line - (row + 1) * c.line,
                             x0 + w + c.line / 4, top - 0.3 * c.line - row * c.line, names[i]};
          EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const Shape& s) { return Intersect(s, wanted); }))
              << names[i] << " left out though row " << row << " had room; code " << code;
        }
      }
    }
    EXPECT_GT(left, 0);  // the crowded cases were among them
  }
}

// The fault: at tolerance 0 every mark stands on the nominal value and the
// names were written over one another.
TEST(MarkLabelsRegression, OverprintedAtToleranceZero) {
  const ToleranceReport r = AnalyseTolerance(Designed(kDefault, 24), {0, Distribution::Uniform, 100, 1});
  for (const Figure f : {Figure::Zo, Figure::GainDb}) {
    const Histogram h = HistogramOf(r, f);
    for (const Canvas& c : kCanvases) {
      SCOPED_TRACE(c.what);
      const std::vector<Shape> labels = Labels(h, c);
      EXPECT_FALSE(labels.empty());
      EXPECT_EQ(Misplaced(c, PlotTop(h, c), labels), "");
    }
  }
}

TEST(MarkLabels, TheSmallestWindowKeepsAPlot) {
  for (const Canvas& c : kCanvases) {
    const Histogram h = TenBins();
    double bottom = 0;
    for (const Shape& s : LayOutHistogram(h, c.width, c.height, c.line, [](std::string_view) { return 0.0; }))
      if (s.kind == Shape::Kind::Axis && s.y0 == s.y1) bottom = s.y0;
    EXPECT_GE(bottom - PlotTop(h, c), std::min(2 * c.line, c.height - 5.2 * c.line)) << c.what;
  }
}

}  // namespace
}  // namespace velmora::explore
