// Finding where a property of the frequency response first fails: a walk
// up a logarithmic grid, then the root of the property's margin in the step
// where it failed.
//
// A margin g(f) is continuous, >= 0 where the property holds and < 0 where
// it fails (tol - |deviation|, ln |T|^2, phase + pi).
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora::response {

// Steps of the walk per decade: the curves searched are sums of first- and
// second-order terms, smooth on this scale.
inline constexpr double kScanStep = 1.2589254117941673;  // 10^(1/10)

// The last frequency where g >= 0 between `in` (g(in) = gin >= 0) and `out`
// (g(out) = gout < 0), 0 < in < out: regula falsi on ln f, the Illinois
// variant (a side that stays is halved), until the bracket is a few ulps of
// ln f wide. Never leaves the bracket.
template <class Margin>
double Boundary(double in, double gin, double out, double gout, Margin&& g) {
  double a = std::log(in), b = std::log(out);
  int kept = 0;  // +1: a stayed last time, -1: b did
  for (int i = 0; i < 200 && b - a > 4e-16 * std::max(1.0, std::max(std::abs(a), std::abs(b))); ++i) {
    double x = (a * gout - b * gin) / (gout - gin);
    if (!(x > a && x < b)) x = a + (b - a) / 2;
    const double gx = g(std::exp(x));
    if (gx >= 0) {
      a = x;
      gin = gx;
      if (kept == -1) gout /= 2;
      kept = -1;
    } else {
      b = x;
      gout = gx;
      if (kept == 1) gin /= 2;
      kept = 1;
    }
  }
  return std::exp(a);
}

// The first frequency above `lo` where g < 0, walking up to `hi` in
// kScanStep steps and refining the step where it turned; NaN when g >= 0
// everywhere up to hi. g(lo) must be >= 0.
template <class Margin>
double FirstExit(double lo, double hi, Margin&& g) {
  double previous = lo, gPrevious = g(lo);
  for (double f = lo * kScanStep; previous < hi; f *= kScanStep) {
    const double gf = g(f);
    if (gf < 0) return Boundary(previous, gPrevious, f, gf, g);
    previous = f;
    gPrevious = gf;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace velmora::response
