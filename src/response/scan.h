// Finding where a property of the frequency response first fails: a walk
// up a logarithmic grid, then bisection of the step where it failed.
#pragma once

#include <cmath>
#include <limits>

namespace velmora::response {

// Steps of the walk per decade: the curves searched are sums of first- and
// second-order terms, smooth on this scale.
inline constexpr double kScanStep = 1.1220184543019633;  // 10^(1/20)

// The boundary between `in` (inside(in) true) and `out` (false), both > 0,
// by bisection of their geometric mean until they are adjacent doubles or
// 200 halvings were made; returns the last frequency inside.
template <class Inside>
double Bisect(double in, double out, Inside&& inside) {
  for (int i = 0; i < 200; ++i) {
    const double mid = std::sqrt(in) * std::sqrt(out);
    if (mid == in || mid == out || !(mid > std::fmin(in, out) && mid < std::fmax(in, out))) break;
    (inside(mid) ? in : out) = mid;
  }
  return in;
}

// The first frequency above `lo` where inside() turns false, walking up to
// `hi` in kScanStep steps and bisecting the step where it did; NaN when it
// holds everywhere up to hi. inside(lo) must be true.
template <class Inside>
double FirstExit(double lo, double hi, Inside&& inside) {
  double previous = lo;
  for (double f = lo * kScanStep; previous < hi; f *= kScanStep) {
    if (!inside(f)) return Bisect(previous, f, inside);
    previous = f;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace velmora::response
