// The yield of a design under tolerance and the histograms of its Zo and
// gain: the acceptance windows, the Wilson score interval of the share of
// circuits inside them, and the bins and marks that both the window's
// drawing and the SVG file show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/axis_ticks.h"
#include "explore/binning.h"
#include "explore/box_search.h"
#include "explore/monte_carlo.h"
#include "explore/table.h"
#include "explore/tolerance_analysis.h"

namespace velmora::explore {

// A share of a whole and its 95 % confidence interval, all as fractions.
struct Proportion {
  double share = 0, low = 0, high = 0;
};

// The Wilson score interval at 95 % (z = 1.959963984540054) of `part`
// successes in `whole` trials: the set of shares p whose normal test
// |part/whole - p| <= z sqrt(p (1 - p) / whole) does not reject. Unlike the
// plain normal interval it stays inside [0, 1] and is not empty at 0 % or
// 100 %. NaN everywhere for no trials.
Proportion WilsonInterval(std::uint64_t part, std::uint64_t whole);

// Zo within +-pct % of the wanted Zo; the gain within +-db dB of the wanted gain.
Interval ZoWindow(double wantedZo, double pct);
Interval GainWindow(double wantedGainDb, double db);

// The counts a tolerance analysis makes in its Monte Carlo pass: the
// acceptance windows of `settings` around the wanted Zo and gain, and
// settings.bins bins of Zo and of the gain over everything the worst case
// and the nominal circuit reach (the acceptance window when neither has a
// value): uniform samples all lie there, normal ones very nearly. When the
// worst-case search met unstable circuits, whose Zo has no bound, the bins
// are fitted to the first block of samples instead (see CountPlan).
CountPlan PlanCounts(const ToleranceSettings& settings, double wantedZo, double wantedGainDb,
                     const Figures* nominal, const BoxExtremes& worst);

// The share of all samples (unstable ones count as outside) inside both windows.
Proportion YieldOf(const MonteCarloResult& monteCarlo);

// One figure's histogram with the marks drawn over it.
struct Histogram {
  Figure figure = Figure::Zo;  // Zo (ohms) or GainDb (dB)
  Binning binning;
  BinCounts counts;
  std::uint64_t unstable = 0;  // samples without figures: in no bin
  Interval window;             // the acceptance window
  double nominal = 0;          // NaN when the nominal circuit has no figures
  double worstMin = 0, worstMax = 0, p01 = 0, p99 = 0;
  std::uint64_t tallest() const;  // the largest bin count
};

Histogram HistogramOf(const ToleranceReport& report, Figure figure);

// A histogram's bins as a table named `name`: per bin its figure ("zo" or
// "gain_db"), edges and count, then the samples below and above the bins.
Table HistogramTable(const Histogram& histogram, std::string name);

// The axis ticks the histograms use (common/axis_ticks.h).
using common::AxisTicks;
using common::Tick;

}  // namespace velmora::explore
