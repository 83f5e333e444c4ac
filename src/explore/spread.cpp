#include "explore/spread.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/checked.h"
#include "common/fp_error.h"

namespace velmora::explore {

using common::Checked;

void Gathered::Append(Gathered&& later) {
  if (later.n == 0) return;
  min = n == 0 || later.min < min ? later.min : min;
  max = n == 0 || later.max > max ? later.max : max;
  n += later.n;
  sum += later.sum;
  squares += later.squares;
  for (std::size_t k = 0; k < 2; ++k) {
    below[k] += later.below[k];
    inside[k].insert(inside[k].end(), later.inside[k].begin(), later.inside[k].end());
  }
}

Gathered Gathered::Empty() const {
  Gathered g;
  g.pivot = pivot;
  g.lo = lo;
  g.hi = hi;
  return g;
}

void SetBrackets(Gathered& g, std::vector<double>& sample, double sigmas) {
  g.pivot = sample.front();
  const double m = static_cast<double>(sample.size());
  const auto pick = [&](double r) {
    const auto it = sample.begin() + static_cast<std::ptrdiff_t>(std::clamp(r, 0.0, m - 1.0));
    std::nth_element(sample.begin(), it, sample.end());
    return *it;
  };
  for (std::size_t k = 0; k < 2; ++k) {
    const double p = kQuantiles[k], margin = sigmas * (std::sqrt(m * p * (1.0 - p)) + 1.0);
    g.lo[k] = pick((m - 1.0) * p - margin);
    g.hi[k] = pick((m - 1.0) * p + margin);
  }
}

void OpenBrackets(Gathered& g) {
  g.lo.fill(-std::numeric_limits<double>::infinity());
  g.hi.fill(std::numeric_limits<double>::infinity());
}

std::optional<Spread> Finish(Gathered& g) {
  if (g.n == 0) return kNoSpread;
  if (!std::isfinite(g.sum) || !std::isfinite(g.squares)) common::RaiseFault(common::FpFault::Overflow);
  Spread s;
  const double n = static_cast<double>(g.n);
  s.min = g.min;
  s.max = g.max;
  s.mean = (Checked(g.pivot) + Checked(g.sum) / n).value();
  const Checked variance = g.n > 1 ? (Checked(g.squares) - Checked(g.sum) * g.sum / n) / (n - 1.0) : Checked(0.0);
  s.sd = std::sqrt(std::max(variance.value(), 0.0));
  std::array<double, 2> q{};
  for (std::size_t k = 0; k < 2; ++k) {
    const double h = (n - 1.0) * kQuantiles[k];
    const auto rank = static_cast<std::uint64_t>(h);
    const double frac = h - static_cast<double>(rank);
    std::vector<double>& in = g.inside[k];
    if (rank < g.below[k] || rank - g.below[k] >= in.size()) return std::nullopt;
    const auto it = in.begin() + static_cast<std::ptrdiff_t>(rank - g.below[k]);
    std::nth_element(in.begin(), it, in.end());
    q[k] = *it;
    if (frac == 0.0) continue;
    if (it + 1 == in.end()) return std::nullopt;
    q[k] = (Checked(*it) + Checked(frac) * (Checked(*std::min_element(it + 1, in.end())) - *it)).value();
  }
  s.p01 = q[0];
  s.p99 = q[1];
  return s;
}

Spread SpreadOf(std::span<const double> v) {
  if (v.empty()) return kNoSpread;
  std::vector<double> sample;
  for (std::size_t i = 0, stride = std::max<std::size_t>(1, v.size() / 4096); i < v.size(); i += stride) {
    sample.push_back(v[i]);
  }
  Gathered g;
  SetBrackets(g, sample, 4.0);
  g.pivot = v[0];
  for (double x : v) g.Add(x);
  if (std::optional<Spread> s = Finish(g)) return *s;
  OpenBrackets(g);
  Gathered all = g.Empty();
  for (double x : v) all.Add(x);
  return *Finish(all);
}

}  // namespace velmora::explore
