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

double EstimatedTextWidth(std::string_view text, double fontSize) {
  double ems = 0;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) ems += 0.7;
    else if ((c & 0xC0) != 0x80) ems += 1.0;  // the first byte of a longer code point
  }
  return ems * fontSize;
}

std::vector<Shape> LayOutHistogram(const Histogram& h, double width, double height, double lineHeight,
                                   const TextWidth& textWidth) {
  using Kind = Shape::Kind;
  std::vector<Shape> shapes;
  const bool zo = h.figure == Figure::Zo;
  const double lo = h.binning.lo, hi = h.binning.hi();
  // Rows of names between the title line and the plot, as many as leave the
  // plot two lines: the names, the axis and its labels take the rest.
  const double title = 1.2 * lineHeight, gap = 0.3 * lineHeight, under = 2.7 * lineHeight;
  const int rows = static_cast<int>(
      std::clamp(std::floor((height - title - gap - under - 2 * lineHeight) / lineHeight), 1.0, 4.0));
  const double left = 2.5 * lineHeight, right = width - 1.5 * lineHeight;
  const double top = title + rows * lineHeight + gap, bottom = height - under;
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
  const struct {
    double value;
    const char* name;
  } marks[] = {{h.worstMin, "worst min"}, {h.worstMax, "worst max"}, {h.p01, "1 %"}, {h.p99, "99 %"},
               {h.nominal, "nominal"}};
  for (const auto& m : marks) {
    if (inside(m.value)) shapes.push_back({Kind::Mark, xOf(m.value), top, xOf(m.value), bottom, m.name});
  }
  // The names, most wanted first; each in the lowest row it fits.
  const std::size_t placing[] = {4, 0, 1, 2, 3};
  std::vector<Shape> placed;
  for (const std::size_t i : placing) {
    if (!inside(marks[i].value)) continue;
    const double w = textWidth(marks[i].name);
    const double x0 = std::clamp(xOf(marks[i].value) - w / 2, 0.0, std::max(width - w, 0.0));
    for (int row = 0; row < rows; ++row) {
      // Each row's top computed as the next row's bottom is: rows never overlap by a rounding.
      const Shape label{Kind::Label, x0, top - gap - (row + 1) * lineHeight, x0 + w, top - gap - row * lineHeight,
                        marks[i].name};
      const bool clear = std::none_of(placed.begin(), placed.end(), [&](const Shape& p) {
        return p.y0 < label.y1 && label.y0 < p.y1 && p.x0 < label.x1 + lineHeight / 4 &&
               label.x0 < p.x1 + lineHeight / 4;
      });
      if (clear) {
        placed.push_back(label);
        break;
      }
    }
  }
  shapes.insert(shapes.end(), placed.begin(), placed.end());
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
  constexpr double kWidth = 800, kPanel = 320, kLine = 16, kFont = 12;
  std::string svg = common::SvgStart(kWidth, 2 * kPanel);
  const Histogram* panels[] = {&zo, &gain};
  for (std::size_t p = 0; p < 2; ++p) {
    svg += "<g id=\"" + std::string(p == 0 ? "zo" : "gain_db") + "\" transform=\"translate(0 " +
           SvgNumber(static_cast<double>(p) * kPanel) + ")\">\n";
    const auto width = [](std::string_view text) { return EstimatedTextWidth(text, kFont); };
    for (const Shape& s : LayOutHistogram(*panels[p], kWidth, kPanel, kLine, width)) {
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
                 "\" stroke=\"#c03030\" stroke-dasharray=\"4 3\"/>\n";
          break;
        case Shape::Kind::Label:
          svg += "<text class=\"label\" x=\"" + SvgNumber((s.x0 + s.x1) / 2) + "\" y=\"" + SvgNumber(s.y1 - kLine / 4) +
                 "\" text-anchor=\"middle\" fill=\"#c03030\">" + SvgEscaped(s.text) + "</text>\n";
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
