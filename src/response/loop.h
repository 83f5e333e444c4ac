// The stage's loop gain and its stability margins.
//
// The loop is broken at the op-amp's internal source vs (vin = 0): the
// return ratio is T = -Aol (v(p) - v(n)) / vs. Eliminating the nodes as in
// stage.h gives, with Gs = G5 + G34 and the load YL = GL + j w CL,
//   T = (N / D) / c,  N = alpha2 (Gs + YL) - beta G5,  D = k (Gs + YL) - Ro G5^2,
// and for a shorted Out T = alpha2 / (k c). N, D and c are products of
// first-order factors a + j b f with b >= 0 (D's constant is always
// positive), so arg T, the sum of their atan2 angles, is continuous in f:
// it is the phase unwrapped from arg T(0), which is 0 for negative feedback
// at DC (180 degrees for net positive feedback).
#pragma once

#include <limits>

#include "response/stage.h"

namespace velmora::response {

enum class LoadCase { Zo, Open, Short };
inline constexpr LoadCase kLoadCases[] = {LoadCase::Zo, LoadCase::Open, LoadCase::Short};

// "zo", "open", "short".
const char* LoadCaseName(LoadCase load);

// The load of each case: the wanted Zo in parallel with CL; CL alone (a cable
// whose far end is unplugged); a short.
Load LoadOf(LoadCase load, double zo, double cload);

// T = ((n0 + j w n1) / (d0 + j w d1)) / c(f), w = 2 pi f.
struct LoopGain {
  double n0 = 0, n1 = 0, d0 = 1, d1 = 0;
  double invA0 = 0, invGbw = 0, invF2 = 0;

  LoopGain(const Network& n, const Load& load);
  // |T|^2 (inf where c = 0).
  double MagnitudeSquared(double f) const;
  // arg T in radians, continuous in f > 0.
  double Phase(double f) const;
  Complex At(double f) const;
  // False when the factors' angles cannot add up to -180 degrees at any
  // frequency (each lagging one takes off less than 90 degrees).
  bool CanReachMinus180() const;
  // T(0): +-inf for A0 = inf (0 when N(0) = 0).
  double AtDc() const;
};

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The margins of one load case; NaN where a figure does not exist.
struct Stability {
  LoadCase load = LoadCase::Zo;
  double loopGainDc = kNoValue;   // T(0), a ratio (+-inf for A0 = inf)
  bool latches = false;           // 1 + T(0) <= 0: net positive feedback at DC
  double crossover = kNoValue;    // Hz: the first downward crossing of |T| = 1
  double phaseMargin = kNoValue;  // degrees: 180 + arg T at the crossover
  double phase180 = kNoValue;     // Hz: the first frequency where arg T reaches -180 degrees
  double gainMargin = kNoValue;   // dB: -20 log10 |T| there
  // Why there is no crossover: |T| stays above 1 (or is infinite) at every
  // frequency, or never reaches 1; false when there is one or it latches.
  bool alwaysAbove = false, neverReaches = false;
};

// The margins of `n` with the load of `load`. Latching loads get no
// crossover or margins. Pure: no checks; the analysis checks the figures.
Stability AnalyseStability(const Network& n, LoadCase load, double zo, double cload);

}  // namespace velmora::response
