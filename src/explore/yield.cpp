#include "explore/yield.h"

#include <algorithm>
#include <cmath>
#include <limits>


namespace velmora::explore {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The hull of the finite values among `values`; false when there are none.
bool Hull(std::initializer_list<double> values, double& lo, double& hi) {
  bool any = false;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  return any;
}

Binning FigureBins(std::size_t count, double nominal, double worstMin, double worstMax, const Interval& window) {
  double lo = 0, hi = 0;
  if (!Hull({nominal, worstMin, worstMax}, lo, hi) && !Hull({window.lo, window.hi}, lo, hi)) lo = hi = 0;
  return BinsOver(lo, hi, count);
}

}  // namespace

Proportion WilsonInterval(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0 || part > whole) return {kNaN, kNaN, kNaN};
  constexpr double z = 1.959963984540054;  // the 97.5th percentile of the standard normal
  const double n = static_cast<double>(whole), p = static_cast<double>(part) / n;
  const double z2n = z * z / n;
  const double centre = (p + z2n / 2.0) / (1.0 + z2n);
  const double half = z / (1.0 + z2n) * std::sqrt(p * (1.0 - p) / n + z2n / (4.0 * n));
  // At 0 and at the whole the interval touches 0 or 1 exactly; rounding
  // would leave a hair beside it.
  const double low = part == 0 ? 0.0 : std::max(0.0, centre - half);
  const double high = part == whole ? 1.0 : std::min(1.0, centre + half);
  return {p, low, high};
}

Interval ZoWindow(double wantedZo, double pct) {
  const double a = wantedZo * (1.0 - pct / 100.0), b = wantedZo * (1.0 + pct / 100.0);
  return {std::min(a, b), std::max(a, b)};
}

Interval GainWindow(double wantedGainDb, double db) { return {wantedGainDb - db, wantedGainDb + db}; }

CountPlan PlanCounts(const ToleranceSettings& s, double wantedZo, double wantedGainDb, const Figures* nominal,
                     const BoxExtremes& worst) {
  CountPlan plan;
  plan.zo = ZoWindow(wantedZo, s.acceptZoPct);
  plan.gainDb = GainWindow(wantedGainDb, s.acceptGainDb);
  constexpr auto zo = static_cast<std::size_t>(Figure::Zo), gain = static_cast<std::size_t>(Figure::GainDb);
  plan.zoBins = FigureBins(s.bins, nominal ? nominal->Zo : kNaN, worst.min[zo], worst.max[zo], plan.zo);
  plan.gainBins = FigureBins(s.bins, nominal ? nominal->GainDb : kNaN, worst.min[gain], worst.max[gain], plan.gainDb);
  // Towards an unstable part of the box Zo grows without bound: there the
  // worst case says nothing about where the samples lie.
  plan.fitBins = worst.badPoints > 0 || !(std::isfinite(worst.min[zo]) && std::isfinite(worst.max[zo]));
  return plan;
}

Proportion YieldOf(const MonteCarloResult& mc) { return WilsonInterval(mc.counts.accepted, mc.samples); }

std::uint64_t Histogram::tallest() const {
  return counts.bins.empty() ? 0 : *std::max_element(counts.bins.begin(), counts.bins.end());
}

Histogram HistogramOf(const ToleranceReport& r, Figure figure) {
  Histogram h;
  h.figure = figure;
  const bool zo = figure == Figure::Zo;
  const auto f = static_cast<std::size_t>(figure);
  h.binning = zo ? r.monteCarlo.counts.zoBins : r.monteCarlo.counts.gainBins;
  h.counts = zo ? r.monteCarlo.counts.zo : r.monteCarlo.counts.gainDb;
  h.unstable = r.monteCarlo.bad;
  h.window = zo ? r.plan.zo : r.plan.gainDb;
  h.nominal = r.nominalGood ? r.nominal.spread()[f] : kNaN;
  h.worstMin = r.worst.min[f];
  h.worstMax = r.worst.max[f];
  h.p01 = r.monteCarlo.figures[f].p01;
  h.p99 = r.monteCarlo.figures[f].p99;
  return h;
}

Table HistogramTable(const Histogram& h, std::string name) {
  Table t;
  t.name = std::move(name);
  t.columns = {{"figure", "figure"}, {"lo", "from"}, {"hi", "to"}, {"count", "samples"}};
  const char* figure = h.figure == Figure::Zo ? "zo" : "gain_db";
  for (std::size_t i = 0; i < h.counts.bins.size(); ++i) {
    t.rows.push_back({Cell::Text(figure), Cell::Number(h.binning.Edge(i)), Cell::Number(h.binning.Edge(i + 1)),
                      Cell::Unsigned(h.counts.bins[i])});
  }
  t.rows.push_back({Cell::Text(figure), Cell::Null(), Cell::Number(h.binning.lo), Cell::Unsigned(h.counts.below)});
  t.rows.push_back({Cell::Text(figure), Cell::Number(h.binning.hi()), Cell::Null(), Cell::Unsigned(h.counts.above)});
  return t;
}

}  // namespace velmora::explore
