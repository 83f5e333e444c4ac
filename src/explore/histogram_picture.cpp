#include "explore/histogram_picture.h"

#include <algorithm>
#include <cmath>

#include "common/svg.h"
#include "explore/table.h"

namespace velmora::explore {
namespace {

using common::SvgEscaped;
using common::SvgNumber;

std::string Count(std::uint64_t n) { return std::to_string(n); }

}  // namespace

std::vector<Shape> LayOutHistogram(const Histogram& h, double width, double height, double lineHeight) {
  using Kind = Shape::Kind;
  std::vector<Shape> shapes;
  const bool zo = h.figure == Figure::Zo;
  const double lo = h.binning.lo, hi = h.binning.hi();
  const double left = 2.5 * lineHeight, right = width - 1.5 * lineHeight;
  const double top = 5.5 * lineHeight, bottom = height - 2.7 * lineHeight;
  auto xOf = [&](double v) { return left + (v - lo) / (hi - lo) * (right - left); };
  auto inside = [&](double v) { return std::isfinite(v) && v >= lo && v <= hi; };

  shapes.push_back({Kind::Text, left, 0, 0, 0,
                    zo ? "Achieved Zo (Ω), " + Count(h.binning.count) + " bins"
                       : "Achieved gain (dB), " + Count(h.binning.count) + " bins"});
  if (h.window.lo <= hi && h.window.hi >= lo) {
    shapes.push_back({Kind::Window, xOf(std::max(h.window.lo, lo)), top, xOf(std::min(h.window.hi, hi)), bottom,
                      "acceptance window"});
  }
  const double tallest = static_cast<double>(std::max<std::uint64_t>(h.tallest(), 1));
  for (std::size_t i = 0; i < h.counts.bins.size(); ++i) {
    const std::uint64_t n = h.counts.bins[i];
    Shape bar{Kind::Bar, xOf(h.binning.Edge(i)), bottom - (bottom - top) * static_cast<double>(n) / tallest,
              xOf(h.binning.Edge(i + 1)), bottom, {}};
    bar.count = n;
    bar.lo = h.binning.Edge(i);
    bar.hi = h.binning.Edge(i + 1);
    shapes.push_back(bar);
  }
  // Names in three rows above the plot, so that close marks stay readable.
  const struct {
    double value;
    const char* name;
    int row;
  } marks[] = {{h.worstMin, "worst min", 0}, {h.worstMax, "worst max", 0}, {h.p01, "1 %", 1},
               {h.p99, "99 %", 1},           {h.nominal, "nominal", 2}};
  for (const auto& m : marks) {
    if (!inside(m.value)) continue;
    const double x = xOf(m.value);
    shapes.push_back({Kind::Mark, x, (2.2 + m.row) * lineHeight, x, bottom, m.name});
  }
  shapes.push_back({Kind::Axis, left, bottom, right, bottom, {}});
  shapes.push_back({Kind::Axis, left, top, left, bottom, {}});
  for (const Tick& t : AxisTicks(lo, hi, std::max(2, static_cast<int>((right - left) / (5.0 * lineHeight))), zo)) {
    const double x = xOf(t.value);
    shapes.push_back({Kind::Tick, x, bottom, x, bottom + 0.3 * lineHeight, t.label});
  }
  shapes.push_back({Kind::Text, left, height - 1.2 * lineHeight, 0, 0,
                    "tallest bar " + Count(h.tallest()) + " samples; left of the axis " + Count(h.counts.below) +
                        ", right of it " + Count(h.counts.above) + ", unstable (in no bin) " + Count(h.unstable)});
  return shapes;
}

std::string HistogramSvg(const Histogram& zo, const Histogram& gain) {
  constexpr double kWidth = 800, kPanel = 320, kLine = 16;
  std::string svg = common::SvgStart(kWidth, 2 * kPanel);
  const Histogram* panels[] = {&zo, &gain};
  for (std::size_t p = 0; p < 2; ++p) {
    svg += "<g id=\"" + std::string(p == 0 ? "zo" : "gain_db") + "\" transform=\"translate(0 " +
           SvgNumber(static_cast<double>(p) * kPanel) + ")\">\n";
    for (const Shape& s : LayOutHistogram(*panels[p], kWidth, kPanel, kLine)) {
      switch (s.kind) {
        case Shape::Kind::Window:
          svg += "<rect class=\"window\" x=\"" + SvgNumber(s.x0) + "\" y=\"" + SvgNumber(s.y0) + "\" width=\"" +
                 SvgNumber(s.x1 - s.x0) + "\" height=\"" + SvgNumber(s.y1 - s.y0) + "\" fill=\"#d8f0d8\" stroke=\"none\"/>\n";
          break;
        case Shape::Kind::Bar:
          svg += "<rect class=\"bar\" data-count=\"" + Count(s.count) + "\" data-lo=\"" + ShortestText(s.lo) +
                 "\" data-hi=\"" + ShortestText(s.hi) + "\" x=\"" + SvgNumber(s.x0) + "\" y=\"" + SvgNumber(s.y0) +
                 "\" width=\"" + SvgNumber(s.x1 - s.x0) + "\" height=\"" + SvgNumber(s.y1 - s.y0) +
                 "\" fill=\"#4a78b0\" stroke=\"white\" stroke-width=\"0.5\"/>\n";
          break;
        case Shape::Kind::Axis:
          svg += "<line class=\"axis\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" + SvgNumber(s.y0) + "\" x2=\"" + SvgNumber(s.x1) +
                 "\" y2=\"" + SvgNumber(s.y1) + "\" stroke=\"black\"/>\n";
          break;
        case Shape::Kind::Tick:
          svg += "<line class=\"tick\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" + SvgNumber(s.y0) + "\" x2=\"" + SvgNumber(s.x1) +
                 "\" y2=\"" + SvgNumber(s.y1) + "\" stroke=\"black\"/><text x=\"" + SvgNumber(s.x1) + "\" y=\"" +
                 SvgNumber(s.y1 + kLine) + "\" text-anchor=\"middle\">" + SvgEscaped(s.text) + "</text>\n";
          break;
        case Shape::Kind::Mark:
          svg += "<line class=\"mark\" data-name=\"" + SvgEscaped(s.text) + "\" x1=\"" + SvgNumber(s.x0) + "\" y1=\"" +
                 SvgNumber(s.y0) + "\" x2=\"" + SvgNumber(s.x1) + "\" y2=\"" + SvgNumber(s.y1) +
                 "\" stroke=\"#c03030\" stroke-dasharray=\"4 3\"/><text x=\"" + SvgNumber(s.x0) + "\" y=\"" +
                 SvgNumber(s.y0) + "\" text-anchor=\"middle\" fill=\"#c03030\">" + SvgEscaped(s.text) + "</text>\n";
          break;
        case Shape::Kind::Text:
          svg += "<text x=\"" + SvgNumber(s.x0) + "\" y=\"" + SvgNumber(s.y0 + kLine * 0.8) + "\">" + SvgEscaped(s.text) +
                 "</text>\n";
          break;
      }
    }
    svg += "</g>\n";
  }
  svg += common::kSvgEnd;
  return svg;
}

}  // namespace velmora::explore
