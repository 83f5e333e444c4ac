// A histogram laid out as shapes on a canvas of a given size: the one
// drawing that the window paints with GDI and the command line writes as SVG.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "explore/yield.h"

namespace velmora::explore {

struct Shape {
  enum class Kind {
    Window,  // the acceptance window: a shaded rectangle behind the bars
    Bar,     // one bin: a rectangle; `count` samples
    Axis,    // the axis lines
    Tick,    // a tick line with its label under it at (x1, y1)
    Mark,    // a vertical line over the plot, `text` its name: nominal, worst case, percentiles
    Label,   // a mark's name, centred in the box (x0, y0)-(x1, y1) with its bottom at y1
    Text,    // a line of text with its top left at (x0, y0)
  };
  Kind kind = Kind::Text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // canvas units, y downwards
  std::string text;                        // UTF-8
  std::uint64_t count = 0;                 // Bar
  double lo = 0, hi = 0;                   // Bar: the bin's edges in the figure's unit
};

// The width of a line of text (UTF-8) on the canvas, in canvas units.
using TextWidth = std::function<double(std::string_view)>;

// A width that no sans-serif face of `fontSize` units exceeds for the
// marks' names: 0.7 of the size per code point below U+0080 (DejaVu Sans,
// the widest common face, averages 0.55 over "worst max" and reaches 0.95
// only for "%" and "m"), a whole size for any other.
double EstimatedTextWidth(std::string_view text, double fontSize);

// `h` on a width x height canvas whose text lines are `lineHeight` tall:
// a title line, the marks' names in up to four rows, the bars over the plot
// area with the window behind them and the marks over them, the axis with its
// ticks, and a line counting the samples beside the axis and the unstable
// ones. The bars' heights are relative to the tallest bin.
//
// Names are placed in the order nominal, worst min, worst max, 1 %, 99 %,
// each centred over its mark (moved inside the canvas at its edges), in the
// row nearest the plot where its box, `textWidth` wide and one line tall,
// keeps a quarter line clear of every name placed before it. A name with no
// such row is left out (its value is in the tables). A canvas too low for
// four rows above a plot two lines tall gets fewer, but always one.
std::vector<Shape> LayOutHistogram(const Histogram& h, double width, double height, double lineHeight,
                                   const TextWidth& textWidth);

// Both histograms, Zo above the gain, as a standalone SVG document (UTF-8):
// one <rect class="bar"> per bin carrying data-count, data-lo and data-hi,
// one <rect class="window">, the marks as lines carrying data-name, their
// names as <text class="label">, laid out with EstimatedTextWidth (the
// reader's font is not known).
std::string HistogramSvg(const Histogram& zo, const Histogram& gain);

}  // namespace velmora::explore
