// The Bode picture model: where its shapes go, whatever draws them.
#include "response/bode_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/numtext.h"
#include "common/utf.h"

namespace velmora::response {
namespace {

using Kind = BodeShape::Kind;

FrequencyReport NearLimitReport(double fmax = 10e6) {
  main::DesignState s;
  EXPECT_EQ(main::SolveDesign(0.0, 600, 10e3, 10e3, 3, 0, s), main::DesignOutcome::Success);
  FrequencySettings settings;
  settings.fmax = fmax;
  settings.cload = 10e-9;
  return AnalyseFrequency(s, *FindPreset("TL072"), settings);
}

const BodeShape* Find(const std::vector<BodeShape>& shapes, Kind kind, const std::string& name = {}) {
  for (const BodeShape& s : shapes) {
    if (s.kind == kind && (name.empty() || s.name == name)) return &s;
  }
  return nullptr;
}

// The curve has a vertex per sweep point, left to right inside the axes;
// the band spans 0.99 to 1.01 of the DC |Zo| on the curve's own scale, so
// the curve leaves it where the +-1 % mark stands.
TEST(BodePicture, CurveBandAndMarksAgree) {
  const FrequencyReport r = NearLimitReport();
  const std::vector<BodeShape> shapes = LayOutBode(r, BodePanel::Zo, 800, 340, 16);
  const BodeShape* curve = Find(shapes, Kind::Curve, "zo");
  const BodeShape* band = Find(shapes, Kind::Band);
  const BodeShape* mark = Find(shapes, Kind::Mark, "zo_1pct");
  ASSERT_TRUE(curve && band && mark);
  ASSERT_EQ(curve->points.size(), r.points.size());
  const BodeShape* xAxis = nullptr;
  for (const BodeShape& s : shapes) {
    if (s.kind == Kind::Axis && s.y0 == s.y1) xAxis = &s;
  }
  ASSERT_TRUE(xAxis);
  for (std::size_t i = 0; i < curve->points.size(); ++i) {
    const auto [x, y] = curve->points[i];
    EXPECT_GE(x, xAxis->x0);
    EXPECT_LE(x, xAxis->x1);
    EXPECT_LE(y, xAxis->y0);
    if (i > 0) {
      EXPECT_GT(x, curve->points[i - 1].first);
    }
  }
  EXPECT_DOUBLE_EQ(curve->points.front().first, xAxis->x0);
  EXPECT_DOUBLE_EQ(curve->points.back().first, xAxis->x1);
  // The value scale is linear: two points fix it; the band's edges follow it.
  const double y0 = curve->points[0].second, y1 = curve->points[60].second;
  const double v0 = r.points[0].zo, v1 = r.points[60].zo;
  const auto yOf = [&](double v) { return y0 + (v - v0) / (v1 - v0) * (y1 - y0); };
  EXPECT_NEAR(band->y0, yOf(1.01 * r.dc.zo), 1e-6);
  EXPECT_NEAR(band->y1, yOf(0.99 * r.dc.zo), 1e-6);
  // Below the mark the curve is inside the band; the first vertex beyond it is out.
  for (const auto& [x, y] : curve->points) {
    if (x < mark->x0) {
      EXPECT_TRUE(y >= band->y0 - 1e-9 && y <= band->y1 + 1e-9) << x;
    } else {
      EXPECT_FALSE(y >= band->y0 && y <= band->y1) << x;
      break;
    }
  }
}

// Coordinates scale with the canvas: the same picture at twice the size.
TEST(BodePicture, LayoutScalesWithTheCanvas) {
  const FrequencyReport r = NearLimitReport();
  for (const BodePanel panel : {BodePanel::Zo, BodePanel::Gain}) {
    const std::vector<BodeShape> a = LayOutBode(r, panel, 600, 300, 14), b = LayOutBode(r, panel, 1200, 600, 28);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].kind, b[i].kind);
      EXPECT_EQ(a[i].text, b[i].text);
      EXPECT_NEAR(2 * a[i].x0, b[i].x0, 1e-9);
      EXPECT_NEAR(2 * a[i].y1, b[i].y1, 1e-9);
      ASSERT_EQ(a[i].points.size(), b[i].points.size());
      for (std::size_t k = 0; k < a[i].points.size(); ++k) EXPECT_NEAR(2 * a[i].points[k].second, b[i].points[k].second, 1e-9);
    }
  }
}

// The gain panel: both curves, the crossover with its margin; marks beyond
// the sweep left out; no points, no picture.
TEST(BodePicture, GainPanelAndMarksOutsideTheSweep) {
  const FrequencyReport r = NearLimitReport();
  const std::vector<BodeShape> gain = LayOutBode(r, BodePanel::Gain, 800, 340, 16);
  EXPECT_TRUE(Find(gain, Kind::Curve, "gain") && Find(gain, Kind::Curve, "gain_open"));
  const BodeShape* crossover = Find(gain, Kind::Mark, "crossover");
  ASSERT_TRUE(crossover);
  const std::string pm = common::Utf16ToUtf8(common::FixedDecimal(r.stability[0].phaseMargin, 1));
  EXPECT_NE(crossover->text.find("PM " + pm + "°"), std::string::npos) << crossover->text;

  const FrequencyReport narrow = NearLimitReport(1e3);  // every edge lies above 1 kHz
  EXPECT_EQ(Find(LayOutBode(narrow, BodePanel::Zo, 800, 340, 16), Kind::Mark), nullptr);
  EXPECT_EQ(Find(LayOutBode(narrow, BodePanel::Gain, 800, 340, 16), Kind::Mark), nullptr);

  FrequencyReport empty = r;
  empty.points.clear();
  EXPECT_TRUE(LayOutBode(empty, BodePanel::Zo, 800, 340, 16).empty());
}

TEST(BodePicture, SvgHoldsBothPanels) {
  const std::string svg = BodeSvg(NearLimitReport());
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  for (const char* part : {"<g id=\"zo\"", "<g id=\"gain_db\" transform=\"translate(0 340)\"", "data-name=\"zo\"",
                           "data-name=\"gain_open\" points=", "stroke-dasharray=\"5 3\"", "<rect class=\"band\""}) {
    EXPECT_NE(svg.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

}  // namespace
}  // namespace velmora::response
