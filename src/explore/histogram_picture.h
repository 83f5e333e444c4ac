// A histogram laid out as shapes on a canvas of a given size: the one
// drawing that the window paints with GDI and the command line writes as SVG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "explore/yield.h"

namespace velmora::explore {

struct Shape {
  enum class Kind {
    Window,  // the acceptance window: a shaded rectangle behind the bars
    Bar,     // one bin: a rectangle; `count` samples
    Axis,    // the axis lines
    Tick,    // a tick line with its label under it at (x1, y1)
    Mark,    // a vertical line with its name above it at (x0, y0): nominal, worst case, percentiles
    Text,    // a line of text with its top left at (x0, y0)
  };
  Kind kind = Kind::Text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // canvas units, y downwards
  std::string text;                        // UTF-8
  std::uint64_t count = 0;                 // Bar
  double lo = 0, hi = 0;                   // Bar: the bin's edges in the figure's unit
};

// `h` on a width x height canvas whose text lines are `lineHeight` tall:
// a title line, the bars over the plot area with the window behind them and
// the marks over them, the axis with its ticks, and a line counting the
// samples beside the axis and the unstable ones. The bars' heights are
// relative to the tallest bin.
std::vector<Shape> LayOutHistogram(const Histogram& h, double width, double height, double lineHeight);

// Both histograms, Zo above the gain, as a standalone SVG document (UTF-8):
// one <rect class="bar"> per bin carrying data-count, data-lo and data-hi,
// one <rect class="window">, the marks as lines with their names.
std::string HistogramSvg(const Histogram& zo, const Histogram& gain);

}  // namespace velmora::explore
