// The Monte Carlo run: its draws, blocks, threads, progress and statistics.
#include "explore/monte_carlo.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "designs.h"
#include "explore/random.h"
#include "explore/sensitivity.h"
#include "fp_testing.h"

namespace velmora::explore {
namespace {

using velmora::testing::Same;
using testing::Designed;
using testing::kDefault;
using testing::kStableDesigns;
using testing::StableDesign;

TEST(Tolerance, MonteCarloSpreadAgreesWithTheSensitivities) {
  // At half a percent the figures are nearly linear in the resistors: the
  // spread follows from the sensitivities and each resistor's deviation.
  constexpr double kPct = 0.5;
  for (const StableDesign& d : kStableDesigns) {
    SCOPED_TRACE(::testing::Message() << "series " << d.er << " gain " << d.in.gainDb << " R5 " << d.in.R5);
    const Circuit c = CircuitOf(Designed(d.in, d.er));
    const Sensitivity sens = SensitivityOf(c);
    double zo = 0, gain = 0;
    for (std::size_t i = 0; i < kResistors; ++i) {
      zo += sens.zoPct[i] * sens.zoPct[i];
      gain += sens.gainPct[i] * sens.gainPct[i];
    }
    Figures nominal;
    ASSERT_TRUE(EvaluateCircuit(c, {1, 1, 1, 1, 1}, nominal));
    const double dbPerPct = 20 / std::log(10.0) / 100;
    for (auto [dist, sigma] : {std::pair{Distribution::Uniform, kPct / std::sqrt(3.0)},
                               std::pair{Distribution::Normal, kPct / 3}}) {
      const MonteCarloResult mc = MonteCarlo(c, kPct, dist, 60000, 21);
      EXPECT_NEAR(mc.figures[0].sd / nominal.Zo * 100, std::sqrt(zo) * sigma, 0.04 * std::sqrt(zo) * sigma);
      EXPECT_NEAR(mc.figures[1].sd, std::sqrt(gain) * sigma * dbPerPct, 0.04 * std::sqrt(gain) * sigma * dbPerPct);
      EXPECT_NEAR(mc.figures[0].mean, nominal.Zo, 0.25 * mc.figures[0].sd);  // curvature shifts it a little
      EXPECT_LT(mc.figures[0].p01, mc.figures[0].mean);
      EXPECT_GT(mc.figures[0].p99, mc.figures[0].mean);
    }
  }
}

bool SameSpread(const Spread& a, const Spread& b) {
  return Same(a.mean, b.mean) && Same(a.sd, b.sd) && Same(a.p01, b.p01) && Same(a.p99, b.p99) && Same(a.min, b.min) &&
         Same(a.max, b.max);
}

TEST(Tolerance, SameSeedSameFiguresOnAnyNumberOfThreads) {
  const Circuit c = CircuitOf(Designed(kDefault, 24));
  constexpr std::uint64_t kSamples = 2 * kSamplesPerBlock + 1000;  // a partial last block
  for (Distribution dist : {Distribution::Uniform, Distribution::Normal}) {
    const MonteCarloResult one = MonteCarlo(c, 5, dist, kSamples, 77, 1);
    const MonteCarloResult three = MonteCarlo(c, 5, dist, kSamples, 77, 3);
    const MonteCarloResult other = MonteCarlo(c, 5, dist, kSamples, 78, 1);
    for (std::size_t k = 0; k < kFigures; ++k) {
      EXPECT_TRUE(SameSpread(one.figures[k], three.figures[k])) << k;
      EXPECT_NE(one.figures[k].mean, other.figures[k].mean);
    }
  }
}

TEST(Tolerance, ProgressCountsEachSampleOnceAndCancelStops) {
  const Circuit c = CircuitOf(Designed(kDefault, 24));
  for (std::uint64_t samples : {std::uint64_t{1}, std::uint64_t{4097}, 2 * kSamplesPerBlock + 5000}) {
    RunControl control;
    EXPECT_FALSE(MonteCarlo(c, 5, Distribution::Uniform, samples, 1, 2, nullptr, &control).cancelled);
    EXPECT_EQ(control.done, samples);
  }
  RunControl stopped;
  stopped.cancel = true;
  EXPECT_TRUE(MonteCarlo(c, 5, Distribution::Uniform, 100, 1, 1, nullptr, &stopped).cancelled);
  EXPECT_TRUE(MonteCarlo(c, 5, Distribution::Uniform, 2 * kSamplesPerBlock, 1, 1, nullptr, &stopped).cancelled);
}

TEST(Tolerance, AnEmptyLastBlockChangesNoFigure) {
  // 60 % on series 6: about a third of the circuits are unstable. One sample
  // more than a block, that sample unstable: the last block adds nothing.
  const Circuit c = CircuitOf(Designed(kDefault, 6));
  int found = 0;
  for (std::uint64_t seed = 1; seed <= 10 && found == 0; ++seed) {
    Random random(seed);
    random.Jump();  // the second block's generator
    std::array<double, kResistors> factors;
    for (double& f : factors) f = 1 + 0.6 * random.Symmetric();
    Figures unused;
    if (EvaluateCircuit(c, factors, unused)) continue;
    ++found;
    const MonteCarloResult longer = MonteCarlo(c, 60, Distribution::Uniform, kSamplesPerBlock + 1, seed, 1);
    const MonteCarloResult block = MonteCarlo(c, 60, Distribution::Uniform, kSamplesPerBlock, seed, 1);
    EXPECT_EQ(longer.bad, block.bad + 1);
    for (std::size_t k = 0; k < kFigures; ++k) EXPECT_TRUE(SameSpread(longer.figures[k], block.figures[k])) << k;
  }
  EXPECT_EQ(found, 1);
}

TEST(Tolerance, MonteCarloKeepsOnlyWhatItNeedsYetMatchesAllTheSamples) {
  // The samples drawn as documented (block b from the seed's generator after
  // b jumps, R1 ... R5 per sample), kept whole and summarised at once.
  // Every gain below 0 dB: a maximum that started from 0 would show.
  const Circuit c = CircuitOf(Designed({-6, 600, 10000, 10000, 68}, 12));
  constexpr std::uint64_t kSamples = 3 * kSamplesPerBlock + 123;
  for (Distribution dist : {Distribution::Uniform, Distribution::Normal}) {
    std::array<std::vector<double>, kFigures> all;
    std::uint64_t bad = 0;
    Random start(5), random = start;
    for (std::uint64_t n = 0; n < kSamples; ++n) {
      if (n > 0 && n % kSamplesPerBlock == 0) {
        start.Jump();
        random = start;
      }
      std::array<double, kResistors> factors;
      for (double& f : factors) {
        f = dist == Distribution::Uniform ? 1 + 0.10 * random.Symmetric() : 1 + 0.10 / 3 * random.Normal();
      }
      Figures figures;
      if (!EvaluateCircuit(c, factors, figures)) {
        ++bad;
        continue;
      }
      for (std::size_t k = 0; k < kFigures; ++k) all[k].push_back(figures.spread()[k]);
    }
    const MonteCarloResult mc = MonteCarlo(c, 10, dist, kSamples, 5, 2);
    EXPECT_EQ(mc.bad, bad);
    for (std::size_t k = 0; k < kFigures; ++k) {
      SCOPED_TRACE(k);
      const Spread whole = SpreadOf(all[k]);
      const Spread& s = mc.figures[k];
      EXPECT_EQ(s.p01, whole.p01);
      EXPECT_EQ(s.p99, whole.p99);
      EXPECT_EQ(s.min, whole.min);
      EXPECT_EQ(s.max, whole.max);
      EXPECT_NEAR(s.mean, whole.mean, 1e-13 * std::fabs(whole.mean));
      EXPECT_NEAR(s.sd, whole.sd, 1e-9 * whole.sd);
    }
  }
}

}  // namespace
}  // namespace velmora::explore
