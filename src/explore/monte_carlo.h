// The Monte Carlo run of a tolerance analysis: circuits drawn with random
// resistor deviations, in blocks that any number of threads share without
// changing a figure, with the spread of each figure and, as asked, the
// samples counted into acceptance windows and bins.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "explore/binning.h"
#include "explore/circuit.h"
#include "explore/spread.h"

namespace velmora::explore {

enum class Distribution {
  Uniform,  // uniform within +-pct %
  Normal,   // normal with pct % as three standard deviations
};

// What a Monte Carlo pass counts besides the spreads: the good samples whose
// Zo and gain in dB both lie in their acceptance windows, and the bins of
// both figures.
struct CountPlan {
  Interval zo, gainDb;
  Binning zoBins, gainBins;
  // The bins are fitted to the good samples of the first block instead
  // (FitBins), with as many bins, so that a few samples near an unstable
  // corner, with Zo without bound, do not squeeze the rest into one bin.
  // They stay as given when that block has no good sample.
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

}  // namespace velmora::explore
