#include "explore/box_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace velmora::explore {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool Better(double candidate, double incumbent, bool seekMax) {
  return seekMax ? candidate > incumbent : candidate < incumbent;
}

// Evaluates points of the box, counting them and widening the extremes.
class BoxWalker {
 public:
  BoxWalker(const BoxFunction& f, BoxExtremes& result) : f_(f), r_(result) {
    r_.min.fill(kNaN);
    r_.max.fill(kNaN);
  }

  bool Eval(const BoxPoint& x, BoxValues& v) {
    ++r_.points;
    if (!f_(x, v)) {
      ++r_.badPoints;
      return false;
    }
    for (std::size_t i = 0; i < kFigures; ++i) {
      if (std::isnan(r_.min[i]) || v[i] < r_.min[i]) r_.min[i] = v[i];
      if (std::isnan(r_.max[i]) || v[i] > r_.max[i]) r_.max[i] = v[i];
    }
    kept_.emplace_back(x, v);
    return true;
  }

  // Every point that had figures, in the order evaluated.
  const std::vector<std::pair<BoxPoint, BoxValues>>& kept() const { return kept_; }

 private:
  const BoxFunction& f_;
  BoxExtremes& r_;
  std::vector<std::pair<BoxPoint, BoxValues>> kept_;
};

void VisitCorners(BoxWalker& walker, BoxExtremes& r) {
  for (unsigned mask = 0; mask < unsigned{kCorners}; ++mask) {
    BoxPoint x;
    for (std::size_t i = 0; i < kResistors; ++i) x[i] = (mask >> i) & 1u ? 1.0 : -1.0;
    BoxValues v;
    if (!walker.Eval(x, v)) ++r.badCorners;
  }
}

// Lines along each axis, 9 points from -1 to 1, through every point of the
// lattice {-1, 0, 1}^4 of the other coordinates. A figure is monotonic when
// no line has it both rise and fall; a line with a point without figures
// vouches for nothing.
std::array<bool, kFigures> CheckMonotonic(BoxWalker& walker) {
  std::array<bool, kFigures> monotonic;
  monotonic.fill(true);
  constexpr int kLinePoints = 9, kLattice = 81;
  for (std::size_t axis = 0; axis < kResistors; ++axis) {
    for (int base = 0; base < kLattice; ++base) {
      BoxPoint x{};
      for (std::size_t i = 0, digits = static_cast<std::size_t>(base); i < kResistors; ++i) {
        if (i == axis) continue;
        x[i] = static_cast<double>(digits % 3) - 1.0;
        digits /= 3;
      }
      std::array<int, kFigures> direction{};
      BoxValues last{};
      bool haveLast = false;
      for (int k = 0; k < kLinePoints; ++k) {
        x[axis] = -1.0 + 0.25 * k;
        BoxValues v;
        if (!walker.Eval(x, v)) {
          monotonic.fill(false);
          haveLast = false;
          continue;
        }
        for (std::size_t i = 0; haveLast && i < kFigures; ++i) {
          const int step = v[i] > last[i] ? 1 : (v[i] < last[i] ? -1 : 0);
          if (step != 0 && direction[i] == -step) monotonic[i] = false;
          if (step != 0) direction[i] = step;
        }
        last = v;
        haveLast = true;
      }
    }
  }
  return monotonic;
}

void VisitGrid(BoxWalker& walker) {
  constexpr int kSide = 5, kCount = kSide * kSide * kSide * kSide * kSide;
  for (int n = 0; n < kCount; ++n) {
    BoxPoint x;
    for (std::size_t i = 0, digits = static_cast<std::size_t>(n); i < kResistors; ++i) {
      x[i] = -1.0 + 0.5 * static_cast<double>(digits % kSide);
      digits /= kSide;
    }
    BoxValues v;
    walker.Eval(x, v);
  }
}

// Compass search for the extreme of one figure from `start`: tries a step
// either way along each axis, moves on any improvement, halves the step when
// nothing improves.
void CompassSearch(BoxWalker& walker, BoxPoint x, double fx, std::size_t figure, bool seekMax) {
  constexpr double kSmallestStep = 1.0 / (1 << 30);
  constexpr int kMaxEvaluations = 4000;
  double step = 0.25;
  for (int evaluations = 0; step >= kSmallestStep && evaluations < kMaxEvaluations;) {
    bool moved = false;
    for (std::size_t axis = 0; axis < kResistors; ++axis) {
      for (double sign : {-1.0, 1.0}) {
        BoxPoint y = x;
        y[axis] = std::clamp(x[axis] + sign * step, -1.0, 1.0);
        if (y[axis] == x[axis]) continue;
        BoxValues v;
        ++evaluations;
        if (walker.Eval(y, v) && Better(v[figure], fx, seekMax)) {
          x = y;
          fx = v[figure];
          moved = true;
        }
      }
    }
    if (!moved) step *= 0.5;
  }
}

// Starts a compass search from each of the best few points seen so far.
void SearchFigure(BoxWalker& walker, std::size_t figure, bool seekMax) {
  constexpr std::size_t kStarts = 4;
  std::vector<std::pair<BoxPoint, BoxValues>> starts = walker.kept();
  const std::size_t count = std::min(kStarts, starts.size());
  std::partial_sort(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(count), starts.end(),
                    [&](const auto& a, const auto& b) { return Better(a.second[figure], b.second[figure], seekMax); });
  for (std::size_t s = 0; s < count; ++s) {
    CompassSearch(walker, starts[s].first, starts[s].second[figure], figure, seekMax);
  }
}

}  // namespace

BoxExtremes SearchBox(const BoxFunction& f) {
  BoxExtremes r;
  BoxWalker walker(f, r);
  VisitCorners(walker, r);
  const std::array<bool, kFigures> monotonic = CheckMonotonic(walker);
  r.cornersSuffice = monotonic;
  if (std::all_of(monotonic.begin(), monotonic.end(), [](bool m) { return m; })) return r;
  VisitGrid(walker);
  for (std::size_t i = 0; i < kFigures; ++i) {
    if (monotonic[i]) continue;
    SearchFigure(walker, i, false);
    SearchFigure(walker, i, true);
  }
  return r;
}

BoxExtremes WorstCase(const Circuit& circuit, double pct) {
  const double fraction = pct / 100.0;
  return SearchBox([&](const BoxPoint& x, BoxValues& v) {
    Factors factors;
    for (std::size_t i = 0; i < kResistors; ++i) factors[i] = Factor(fraction, x[i]);
    Figures figures;
    if (!EvaluateCircuit(circuit, factors, figures)) return false;
    v = figures.spread();
    return true;
  });
}

}  // namespace velmora::explore
