#include "response/loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "response/scan.h"

namespace velmora::response {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegrees = 180.0 / kPi;

// The frequencies (Hz) where the factors of T bend, and where an integrator
// (A0 = inf) reaches |T| = 1; empty when T does not depend on frequency.
std::vector<double> Corners(const LoopGain& t) {
  std::vector<double> corners;
  if (t.invGbw > 0.0) {
    corners.push_back(1.0 / t.invGbw);
    if (t.invA0 > 0.0) corners.push_back(t.invA0 / t.invGbw);
    if (t.n0 != 0.0) corners.push_back(std::abs(t.n0) / t.d0 / t.invGbw);
    if (t.n1 > 0.0 && t.d1 > 0.0) corners.push_back(t.n1 / t.d1 / t.invGbw);
  }
  if (t.invF2 > 0.0) corners.push_back(1.0 / t.invF2);
  if (t.n1 > 0.0 && t.n0 != 0.0) corners.push_back(std::abs(t.n0) / (kTwoPi * t.n1));
  if (t.d1 > 0.0) corners.push_back(t.d0 / (kTwoPi * t.d1));
  corners.erase(std::remove_if(corners.begin(), corners.end(),
                               [](double f) { return !(f > 0.0 && std::isfinite(f)); }),
                corners.end());
  return corners;
}

}  // namespace

const char* LoadCaseName(LoadCase load) {
  switch (load) {
    case LoadCase::Zo: return "zo";
    case LoadCase::Open: return "open";
    case LoadCase::Short: return "short";
  }
  return "";
}

Load LoadOf(LoadCase load, double zo, double cload) {
  switch (load) {
    case LoadCase::Zo: return {1.0 / zo, cload, false};
    case LoadCase::Open: return {0.0, cload, false};
    case LoadCase::Short: return {0.0, 0.0, true};
  }
  return {};
}

LoopGain::LoopGain(const Network& n, const Load& load)
    : invA0(n.invA0), invGbw(n.invGbw), invF2(n.invF2) {
  if (load.shorted) {  // the limit of N/D as YL grows without bound
    n0 = n.alpha2;
    d0 = n.k;
    return;
  }
  const double y = n.g5 + n.g34 + load.g;
  n0 = n.alpha2 * y - n.beta * n.g5;
  n1 = n.alpha2 * load.c;
  d0 = n.k * y - n.ro * n.g5 * n.g5;
  d1 = n.k * load.c;
}

double LoopGain::MagnitudeSquared(double f) const {
  const double w = kTwoPi * f;
  const double num = n0 * n0 + (w * n1) * (w * n1);
  const double c2 = (invA0 * invA0 + (f * invGbw) * (f * invGbw)) * (1.0 + (f * invF2) * (f * invF2));
  if (c2 == 0.0) return num == 0.0 ? 0.0 : kInfinity;
  return num / (c2 * (d0 * d0 + (w * d1) * (w * d1)));
}

double LoopGain::Phase(double f) const {
  const double w = kTwoPi * f;
  return std::atan2(w * n1, n0) - std::atan2(f * invGbw, invA0) - std::atan2(f * invF2, 1.0) -
         std::atan2(w * d1, d0);
}

Complex LoopGain::At(double f) const {
  const double w = kTwoPi * f;
  const Complex c = Complex(invA0, f * invGbw) * Complex(1.0, f * invF2);
  return Complex(n0, w * n1) / (Complex(d0, w * d1) * c);
}

bool LoopGain::CanReachMinus180() const {
  // N's angle never goes below 0 (N(0) > 0), pi/2 (N(0) < 0, n1 > 0) or pi;
  // each lagging factor takes off less than pi/2.
  const double least = n0 >= 0 ? 0.0 : n1 > 0 ? kPi / 2 : kPi;
  const int lags = (invGbw > 0) + (invF2 > 0) + (d1 > 0);
  return least - lags * (kPi / 2) < -kPi;
}

double LoopGain::AtDc() const {
  if (invA0 == 0.0) return n0 == 0.0 ? 0.0 : std::copysign(kInfinity, n0);
  return n0 / (d0 * invA0);
}

Stability AnalyseStability(const Network& n, LoadCase load, double zo, double cload) {
  Stability st;
  st.load = load;
  const LoopGain t(n, LoadOf(load, zo, cload));
  st.loopGainDc = t.AtDc();
  st.latches = 1.0 + st.loopGainDc <= 0.0;
  if (st.latches) return st;

  const bool startAbove = std::abs(st.loopGainDc) >= 1.0;
  const std::vector<double> corners = Corners(t);
  if (corners.empty()) {  // T is the same at every frequency
    st.alwaysAbove = startAbove;
    st.neverReaches = !startAbove;
    return st;
  }
  // ln |T|^2: >= 0 while |T| >= 1.
  const auto margin = [&t](double f) { return std::log(t.MagnitudeSquared(f)); };
  double lo = *std::min_element(corners.begin(), corners.end()) / 1e2;
  const double top = *std::max_element(corners.begin(), corners.end());
  double hi = top * 1e3;
  while ((margin(lo) >= 0) != startAbove && lo > 1e-30) lo /= 10.0;
  while (margin(hi) >= 0 && hi < 1e30) hi *= 10.0;

  // The walk compares |T|^2 with 1; the logarithm only where it turned.
  double previous = lo, mPrevious = t.MagnitudeSquared(lo);
  bool everAbove = mPrevious >= 1.0;
  for (double f = lo * kScanStep; previous < hi; f *= kScanStep) {
    const double m = t.MagnitudeSquared(f);
    if (mPrevious >= 1.0 && m < 1.0) {
      st.crossover = Boundary(previous, std::log(mPrevious), f, std::log(m), margin);
      break;
    }
    everAbove = everAbove || m >= 1.0;
    previous = f;
    mPrevious = m;
  }
  if (std::isnan(st.crossover)) {
    st.alwaysAbove = mPrevious >= 1.0;
    st.neverReaches = !everAbove;
  } else {
    st.phaseMargin = 180.0 + t.Phase(st.crossover) * kDegrees;
  }

  // Each factor is within 1e-4 rad of its final angle 1e4 times above its
  // corner: a phase that has not reached -180 degrees there never does.
  // Nor does one whose factors cannot add up to it.
  if (!t.CanReachMinus180()) return st;
  st.phase180 = FirstExit(lo, std::max(hi, top * 1e4), [&t](double f) { return t.Phase(f) + kPi; });
  if (!std::isnan(st.phase180)) st.gainMargin = -10.0 * std::log10(t.MagnitudeSquared(st.phase180));
  return st;
}

}  // namespace velmora::response
