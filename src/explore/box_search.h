// The extremes of figures over the tolerance box [-1, 1]^5, and the worst
// case of a circuit: the true minimum and maximum over that box.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "explore/circuit.h"

namespace velmora::explore {

using BoxPoint = std::array<double, kResistors>;     // each coordinate in [-1, 1]
using BoxValues = std::array<double, kFigures>;
// Fills the figures at a point of the box; false when the point has none.
using BoxFunction = std::function<bool(const BoxPoint&, BoxValues&)>;

struct BoxExtremes {
  BoxValues min{}, max{};  // NaN for a figure no point had
  // Per figure: every sampled line parallel to an axis was monotonic, so the
  // kCorners corners bound the figure; otherwise the interior was searched too.
  std::array<bool, kFigures> cornersSuffice{};
  int badCorners = 0;           // corners without figures, of kCorners
  std::uint64_t points = 0;     // points evaluated, corners included
  std::uint64_t badPoints = 0;  // of those, points without figures
};

// The minimum and maximum of each figure of f over [-1, 1]^5, each point
// evaluated as a whole. The kCorners corners first; then lines along each
// axis through a 3^4 lattice of the other coordinates, 9 points each, tell per
// figure whether it is monotonic along every axis (then the corners hold its
// extremes). A figure that is not, or any line with a point without figures,
// gets a 5^5 grid and a compass search with step halving from its best
// points. The extremes reported are the most extreme values of all points
// evaluated.
BoxExtremes SearchBox(const BoxFunction& f);

// The worst case of `circuit` with every resistor within +-pct % of its
// value: SearchBox over R_i Factor(pct / 100, x_i).
BoxExtremes WorstCase(const Circuit& circuit, double pct);

}  // namespace velmora::explore
