#include "response/bode_picture.h"

#include <algorithm>
#include <cmath>

#include "common/axis_ticks.h"
#include "common/numtext.h"
#include "common/svg.h"
#include "common/utf.h"

namespace velmora::response {
namespace {

using common::SvgEscaped;
using common::SvgNumber;
using Kind = BodeShape::Kind;

std::string Si(double x) { return common::Utf16ToUtf8(common::FormatSI(x, 0, 2)); }

// The value range of a panel: its curves (and the band), widened when they
// are flat, with a margin.
struct Range {
  double lo, hi;
};
Range ValueRange(const std::vector<double>& values, double flatHalfWidth) {
  double lo = *std::min_element(values.begin(), values.end());
  double hi = *std::max_element(values.begin(), values.end());
  if (hi - lo < flatHalfWidth) {
    const double mid = (lo + hi) / 2;
    lo = mid - flatHalfWidth;
    hi = mid + flatHalfWidth;
  }
  const double pad = (hi - lo) * 0.05;
  return {lo - pad, hi + pad};
}

}  // namespace

std::vector<BodeShape> LayOutBode(const FrequencyReport& r, BodePanel panel, double width, double height,
                                  double lineHeight) {
  std::vector<BodeShape> shapes;
  if (r.points.size() < 2) return shapes;
  const bool zo = panel == BodePanel::Zo;
  const double left = 5.0 * lineHeight, right = width - 1.5 * lineHeight;
  const double top = 4.2 * lineHeight, bottom = height - 2.7 * lineHeight;
  const double fmin = r.points.front().f, fmax = r.points.back().f;
  const double span = std::log(fmax / fmin);
  const auto xOf = [&](double f) { return left + std::log(f / fmin) / span * (right - left); };

  const double z0 = std::abs(r.dc.zo);
  std::vector<double> values;
  for (const SweepPoint& p : r.points) {
    if (zo) {
      values.push_back(p.zo);
    } else {
      values.push_back(p.gainDb);
      values.push_back(p.gainOpenDb);
    }
  }
  if (zo) {
    values.push_back(z0 * 0.99);
    values.push_back(z0 * 1.01);
  }
  const Range range = ValueRange(values, zo ? 0.02 * z0 : 1.0);
  const auto yOf = [&](double v) { return bottom - (v - range.lo) / (range.hi - range.lo) * (bottom - top); };

  shapes.push_back({Kind::Text, left, 0.2 * lineHeight, 0, 0, {}, {},
                    zo ? "|Zo| (Ω): load removed, In at 0 V; shaded: its DC value ±1 %"
                       : "Gain (dB): into Zo || CL (solid) and with no load (dashed)"});
  if (zo) shapes.push_back({Kind::Band, left, yOf(z0 * 1.01), right, yOf(z0 * 0.99), {}, "band", "±1 %"});

  const int most = std::max(2, static_cast<int>((bottom - top) / (2.5 * lineHeight)));
  for (const common::Tick& t : common::AxisTicks(range.lo, range.hi, most, zo)) {
    const double y = yOf(t.value);
    shapes.push_back({Kind::TickY, left, y, right, y, {}, {}, t.label});
  }
  for (const common::Tick& t : common::LogAxisTicks(fmin, fmax)) {
    const double x = xOf(t.value);
    shapes.push_back({Kind::TickX, x, bottom, x, bottom + (t.label.empty() ? 0.2 : 0.4) * lineHeight, {}, {}, t.label});
  }
  shapes.push_back({Kind::Axis, left, bottom, right, bottom, {}, {}, {}});
  shapes.push_back({Kind::Axis, left, top, left, bottom, {}, {}, {}});

  const auto curve = [&](const char* name, double SweepPoint::*value) {
    BodeShape c{Kind::Curve, 0, 0, 0, 0, {}, name, {}};
    for (const SweepPoint& p : r.points) c.points.emplace_back(xOf(p.f), yOf(p.*value));
    shapes.push_back(std::move(c));
  };
  if (zo) {
    curve("zo", &SweepPoint::zo);
  } else {
    curve("gain_open", &SweepPoint::gainOpenDb);
    curve("gain", &SweepPoint::gainDb);
  }

  // Marks in two rows of labels above the plot, so that close ones stay readable.
  struct MarkAt {
    double f;
    const char* name;
    std::string label;
  };
  std::vector<MarkAt> marks;
  if (zo) {
    marks.push_back({r.bandwidth.zo1pct, "zo_1pct", "±1 % to " + Si(r.bandwidth.zo1pct) + "Hz"});
    marks.push_back({r.bandwidth.zo10pct, "zo_10pct", "±10 % to " + Si(r.bandwidth.zo10pct) + "Hz"});
  } else {
    const Stability& loaded = r.stability[0];
    marks.push_back({r.bandwidth.gain3db, "gain_3db", "-3 dB at " + Si(r.bandwidth.gain3db) + "Hz"});
    marks.push_back({loaded.crossover, "crossover",
                     "crossover " + Si(loaded.crossover) + "Hz, PM " +
                         common::Utf16ToUtf8(common::FixedDecimal(loaded.phaseMargin, 1)) + "°"});
  }
  int row = 0;
  for (const MarkAt& m : marks) {
    if (!(m.f >= fmin && m.f <= fmax)) continue;
    const double x = xOf(m.f);
    shapes.push_back({Kind::Mark, x, (2.4 + row) * lineHeight, x, bottom, {}, m.name, m.label});
    row = 1 - row;
  }
  return shapes;
}

std::string BodeSvg(const FrequencyReport& r) {
  constexpr double kWidth = 800, kPanel = 340, kLine = 16;
  std::string svg = common::SvgStart(kWidth, 2 * kPanel);
  const BodePanel panels[] = {BodePanel::Zo, BodePanel::Gain};
  for (std::size_t p = 0; p < 2; ++p) {
    svg += "<g id=\"" + std::string(p == 0 ? "zo" : "gain_db") + "\" transform=\"translate(0 " +
           SvgNumber(static_cast<double>(p) * kPanel) + ")\">\n";
    for (const BodeShape& s : LayOutBode(r, panels[p], kWidth, kPanel, kLine)) {
      switch (s.kind) {
        case Kind::Band:
          svg += "<rect class=\"band\" x=\"" + SvgNumber(s.x0) + "\" y=\"" + SvgNumber(s.y0) + "\" width=\"" +
                 SvgNumber(s.x1 - s.x0) + "\" height=\"" + SvgNumber(s.y1 - s.y0) +
                 "\" fill=\"#d8f0d8\" stroke=\"none\"/>\n";
          break;
        case Kind::Curve: {
          std::string points;
          for (const auto& [x, y] : s.points) {
            if (!points.empty()) points += ' ';
            points += SvgNumber(x);
            points += ',';
            points += SvgNumber(y);
          }
          svg += "<polyline class=\"curve\" data-name=\"" + SvgEscaped(s.name) + "\" points=\"" + points +
                 "\" fill=\"none\" stroke=\"#2a5caa\" stroke-width=\"1.5\"" +
                 (s.name == "gain_open" ? " stroke-dasharray=\"5 3\"" : "") + "/>\n";
          break;
        }
        case Kind::Axis:
          svg += "<line class=\"axis\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" + SvgNumber(s.y0) + "\" x2=\"" +
                 SvgNumber(s.x1) + "\" y2=\"" + SvgNumber(s.y1) + "\" stroke=\"black\"/>\n";
          break;
        case Kind::TickX:
          svg += "<line class=\"tick\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" + SvgNumber(s.y0) + "\" x2=\"" +
                 SvgNumber(s.x1) + "\" y2=\"" + SvgNumber(s.y1) + "\" stroke=\"black\"/>";
          if (!s.text.empty())
            svg += "<text x=\"" + SvgNumber(s.x1) + "\" y=\"" + SvgNumber(s.y1 + kLine) + "\" text-anchor=\"middle\">" +
                   SvgEscaped(s.text) + "</text>";
          svg += "\n";
          break;
        case Kind::TickY:
          svg += "<line class=\"grid\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" + SvgNumber(s.y0) + "\" x2=\"" +
                 SvgNumber(s.x1) + "\" y2=\"" + SvgNumber(s.y1) + "\" stroke=\"#dddddd\"/><text x=\"" +
                 SvgNumber(s.x0 - 0.4 * kLine) + "\" y=\"" + SvgNumber(s.y0 + 0.35 * kLine) +
                 "\" text-anchor=\"end\">" + SvgEscaped(s.text) + "</text>\n";
          break;
        case Kind::Mark:
          svg += "<line class=\"mark\" data-name=\"" + SvgEscaped(s.name) + "\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" +
                 SvgNumber(s.y0) + "\" x2=\"" + SvgNumber(s.x1) + "\" y2=\"" + SvgNumber(s.y1) +
                 "\" stroke=\"#c03030\" stroke-dasharray=\"4 3\"/><text x=\"" + SvgNumber(s.x0) + "\" y=\"" +
                 SvgNumber(s.y0) + "\" text-anchor=\"middle\" fill=\"#c03030\">" + SvgEscaped(s.text) + "</text>\n";
          break;
        case Kind::Text:
          svg += "<text x=\"" + SvgNumber(s.x0) + "\" y=\"" + SvgNumber(s.y0 + kLine * 0.8) + "\">" +
                 SvgEscaped(s.text) + "</text>\n";
          break;
      }
    }
    svg += "</g>\n";
  }
  svg += common::kSvgEnd;
  return svg;
}

}  // namespace velmora::response
