// How a built circuit spreads when its resistors deviate within a tolerance:
// the worst case over the whole tolerance box, a Monte Carlo estimate, and
// the sensitivity to each resistor. Every evaluation runs the design's own
// StoreAchievedValues in checked arithmetic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "main/design.h"

namespace velmora::explore {

// The explorer builds on the design engine's own types.
using main::DesignOutcome;
using main::DesignState;

inline constexpr std::size_t kResistors = 5;  // R1 ... R5
inline constexpr std::size_t kFigures = 4;    // Zo, gain in dB, Zio, eta

// The figures a tolerance analysis follows, by index into Figures::spread().
enum class Figure : std::size_t { Zo, GainDb, Zio, Eta };

// R1 ... R5 of a built circuit and the Zo it was designed for (the load of
// its gain and eta figures).
struct Circuit {
  double Zo = 0;
  std::array<double, kResistors> R{};
};

// The circuit of a calculated state: state.Zo and state.R1 ... state.R5.
Circuit CircuitOf(const DesignState& state);

struct Figures {
  double Zo = 0, Gain = 0, GainDb = 0, Zio = 0, Eta = 0;
  // Zo, GainDb, Zio, Eta in the order of Figure.
  std::array<double, kFigures> spread() const { return {Zo, GainDb, Zio, Eta}; }
};


// The customary tolerance in percent of resistors sold in series ER: 3 and 6
// 20 %, 12 10 %, 24 5 %, 48 2 %, 96 1 %, 192 0.5 %, any other (or none) 1 %.
double CustomaryTolerancePct(std::int32_t ER);

// The circuit with each resistor i multiplied by factors[i]. Returns false,
// leaving `out` unspecified, when the output impedance is not positive and
// finite (the positive feedback then makes the stage unstable or latch) or
// when any operation faults; never throws.
bool EvaluateCircuit(const Circuit& circuit, const std::array<double, kResistors>& factors,
                     Figures& out) noexcept;

// ---- The extremes of figures over a box ----

using BoxPoint = std::array<double, kResistors>;     // each coordinate in [-1, 1]
using BoxValues = std::array<double, kFigures>;
// Fills the figures at a point of the box; false when the point has none.
using BoxFunction = std::function<bool(const BoxPoint&, BoxValues&)>;

struct BoxExtremes {
  BoxValues min{}, max{};  // NaN for a figure no point had
  // Per figure: every sampled line parallel to an axis was monotonic, so the
  // 32 corners bound the figure; otherwise the interior was searched too.
  std::array<bool, kFigures> cornersSuffice{};
  int badCorners = 0;           // corners without figures, of 32
  std::uint64_t points = 0;     // points evaluated, corners included
  std::uint64_t badPoints = 0;  // of those, points without figures
};

// The minimum and maximum of each figure of f over [-1, 1]^5, each point
// evaluated as a whole. The 32 corners first; then lines along each axis
// through a 3^4 lattice of the other coordinates, 9 points each, tell per
// figure whether it is monotonic along every axis (then the corners hold its
// extremes). A figure that is not, or any line with a point without figures,
// gets a 5^5 grid and a compass search with step halving from its best
// points. The extremes reported are the most extreme values of all points
// evaluated.
BoxExtremes SearchBox(const BoxFunction& f);

// The worst case of `circuit` with every resistor within +-pct % of its
// value: SearchBox over R_i (1 + pct/100 x_i).
BoxExtremes WorstCase(const Circuit& circuit, double pct);

// ---- Monte Carlo ----

enum class Distribution {
  Uniform,  // uniform within +-pct %
  Normal,   // normal with pct % as three standard deviations
};

struct Spread {
  double mean = 0, sd = 0;  // sd with n - 1 in the denominator (0 for one sample)
  double p01 = 0, p99 = 0;  // 1st and 99th percentiles, linear between order statistics
  double min = 0, max = 0;  // of the samples
};

// The spread of any values. One pass sums their differences from the first
// value (so that equal values give exactly that value as their mean and 0
// as their deviation), finds the extremes and keeps the values near each
// percentile, bracketed from an even subsample; a selection among those
// gives the percentile, and a bracket that misses costs a second pass that
// keeps everything. NaN everywhere for no values. Throws only
// common::FloatingPointError (Overflow), for sums beyond the range of doubles.
Spread SpreadOf(std::span<const double> values);

// `count` equal bins from `lo`, each `width` wide: bin i holds the values
// from lo + i width up to, not including, lo + (i + 1) width; the last bin
// also holds its upper edge.
struct Binning {
  double lo = 0, width = 1;
  std::size_t count = 0;
  double hi() const { return lo + width * static_cast<double>(count); }
  double Edge(std::size_t i) const { return lo + width * static_cast<double>(i); }
};

// `count` bins (at least one) over [lo, hi], which is widened by 2 % of its
// span on both sides (so that the extremes do not sit on the outer edges);
// a span of zero width becomes +-1 % around its value (+-1 around 0).
Binning BinsOver(double lo, double hi, std::size_t count);

// How many values fell into each bin of a Binning, and beside it.
struct BinCounts {
  std::vector<std::uint64_t> bins;
  std::uint64_t below = 0, above = 0;
  void Add(const Binning& binning, double x);
  void Append(const BinCounts& other);
};

// A closed interval [lo, hi]; empty when lo > hi or either is NaN.
struct Interval {
  double lo = 0, hi = 0;
  bool Contains(double x) const { return x >= lo && x <= hi; }
};

// What a Monte Carlo pass counts besides the spreads: the good samples whose
// Zo and gain in dB both lie in their acceptance windows, and the bins of
// both figures.
struct CountPlan {
  Interval zo, gainDb;
  Binning zoBins, gainBins;
  // The bins are fitted to the good samples of the first block instead, with
  // as many bins: from its 0.1st to its 99.9th percentile widened by a tenth
  // of that span on each side, but not beyond its extremes (so that a few
  // samples near an unstable corner, with Zo without bound, do not squeeze
  // the rest into one bin). They stay as given when that block has no good
  // sample.
  bool fitBins = false;
};
struct SampleCounts {
  std::uint64_t accepted = 0;
  Binning zoBins, gainBins;  // the bins counted into
  BinCounts zo, gainDb;
};

// Lets another thread follow a run and stop it: `done` grows by the samples
// drawn, and setting `cancel` ends the run at the next 4096th sample.
struct RunControl {
  std::atomic<bool> cancel{false};
  std::atomic<std::uint64_t> done{0};
};

struct MonteCarloResult {
  std::uint64_t samples = 0;
  std::uint64_t bad = 0;  // samples without figures: counted, not in the spreads
  std::array<Spread, kFigures> figures{};  // NaN everywhere when no sample was good
  SampleCounts counts;     // as the CountPlan asked; empty without one
  bool cancelled = false;  // stopped through RunControl: nothing else here is meaningful
};

// Samples come in blocks of this many; block b draws from Random(seed)
// after b jumps.
inline constexpr std::uint64_t kSamplesPerBlock = 65536;

// `samples` circuits with each resistor multiplied by 1 + pct/100 u (uniform
// u in (-1, 1)) or 1 + pct/300 z (standard normal z), drawn in the order
// R1 ... R5 per sample from the generator of the sample's block. The first
// block is kept whole and brackets the percentiles; the others keep only
// their sums, extremes and the values near the percentiles, and run on up
// to `threads` threads (0: the machine's hardware threads). Their parts are
// joined in block order, so the thread count changes nothing: the same seed
// gives the same figures everywhere. Throws only common::FloatingPointError,
// from the statistics of values beyond the range of doubles.
// With a `plan`, each good sample is also counted as it asks, in the same
// pass; with a `control`, the run reports its progress and can be cancelled.
MonteCarloResult MonteCarlo(const Circuit& circuit, double pct, Distribution distribution,
                            std::uint64_t samples, std::uint64_t seed, unsigned threads = 0,
                            const CountPlan* plan = nullptr, RunControl* control = nullptr);

// ---- Sensitivity ----

struct Sensitivity {
  // Per resistor: the % change of Zo and of the gain ratio when that
  // resistor alone is 1 % larger; NaN when either circuit has no figures.
  std::array<double, kResistors> zoPct{}, gainPct{};
};

Sensitivity SensitivityOf(const Circuit& circuit);

}  // namespace velmora::explore
