// The frequency response laid out as shapes on a canvas of a given size:
// one drawing for the window to paint with GDI and the command line to write
// as SVG. Coordinates are canvas units, y downwards; text sizes follow the
// line height the caller gives.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "response/analysis.h"

namespace velmora::response {

struct BodeShape {
  enum class Kind {
    Band,   // a shaded rectangle behind the curves (the +-1 % band of Zo)
    Curve,  // a polyline through `points`; `name` says which ("zo", "gain", "gain_open")
    Axis,   // an axis line
    TickX,  // a tick on the frequency axis, its label under it at (x1, y1)
    TickY,  // a tick on the value axis, its label left of it at (x0, y0); no label: a grid line only
    Mark,   // a vertical line from (x0, y0) to (x1, y1) with `text` above it ("crossover 1.2 MHz")
    Text,   // a line of text with its top left at (x0, y0)
  };
  Kind kind = Kind::Text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::vector<std::pair<double, double>> points;  // Curve
  std::string name;                               // Curve, Mark: what it shows
  std::string text;                               // UTF-8: labels, titles
};

enum class BodePanel { Zo, Gain };

// One panel of `report` on a width x height canvas whose text lines are
// lineHeight tall: a title, the value axis (ohms with SI labels, or dB) and
// the frequency axis (decades, fmin to fmax, logarithmic), the curve(s) over
// the sweep, and the marks: for Zo its +-1 % band around the DC value and the
// frequencies where |Zo| leaves +-1 % and +-10 %; for the gain the curves
// into the load and with none, the -3 dB frequency and the crossover of the
// loop loaded with Zo || CL (with its phase margin). Marks outside the sweep
// are left out. Empty for a report without points.
std::vector<BodeShape> LayOutBode(const FrequencyReport& report, BodePanel panel, double width, double height,
                                  double lineHeight);

// Both panels, Zo above the gain, as a standalone SVG document (UTF-8):
// <polyline class="curve" data-name="..."> per curve, <rect class="band">,
// <line class="mark" data-name="..."> per mark.
std::string BodeSvg(const FrequencyReport& report);

}  // namespace velmora::response
