// The tolerance analysis: statistics, worst case, Monte Carlo, sensitivity.
#include "explore/tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "designs.h"
#include "explore/explorer.h"
#include "explore/explorer_tables.h"
#include "explore/random.h"
#include "fp_testing.h"

namespace velmora::explore {
namespace {

using main::DesignState;
using main::GainDb;
using velmora::testing::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using testing::Designed;
using testing::kDefault;

// ---------------------------------------------------------------------------
// Statistics

// Linear between the order statistics around (n - 1) p, from a full sort.
double SortedPercentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const double h = static_cast<double>(v.size() - 1) * p;
  const auto lo = static_cast<std::size_t>(h);
  if (lo + 1 >= v.size()) return v[lo];
  return v[lo] + (h - static_cast<double>(lo)) * (v[lo + 1] - v[lo]);
}

// 8192 values, `zeros` of them 0 (every even place first), the rest 1.
std::vector<double> SplitZerosAndOnes(std::size_t zeros) {
  std::vector<double> v(8192, 1.0);
  for (std::size_t i = 0; zeros > 0; i = i + 2 < v.size() ? i + 2 : 1, --zeros) v[i] = 0.0;
  return v;
}

TEST(SpreadOf, MatchesTheSortedDefinition) {
  Random random(5);
  auto draws = [&](std::size_t n, auto f) {
    std::vector<double> v(n);
    for (double& x : v) x = f(random.Symmetric());
    return v;
  };
  std::vector<double> deceptive(409600);  // the even subsample sees only the 1000s
  for (std::size_t i = 0; i < deceptive.size(); ++i) deceptive[i] = i % 100 == 0 ? 1000.0 : static_cast<double>(i % 7);
  const std::vector<std::vector<double>> sets = {
      deceptive,
      draws(1000, [](double u) { return 600 + 50 * u; }),
      draws(150000, [](double u) { return std::exp(3 * u); }),      // skewed: bracketed selection
      draws(70000, [](double u) { return u > 0.97 ? 2.0 : 1.0; }),  // ties across the 99th percentile
      std::vector<double>(50000, 602.8061224489796),
      {5.0},
      {2.0, -1.0},
      // The even subsample sees only zeros: the 99th percentile's order
      // statistic is the last value inside the bracket, or the first above it.
      SplitZerosAndOnes(8109), SplitZerosAndOnes(8110),
  };
  for (const auto& v : sets) {
    SCOPED_TRACE(v.size());
    const Spread s = SpreadOf(v);
    EXPECT_EQ(s.p01, SortedPercentile(v, 0.01));
    EXPECT_EQ(s.p99, SortedPercentile(v, 0.99));
    EXPECT_EQ(s.min, *std::min_element(v.begin(), v.end()));
    EXPECT_EQ(s.max, *std::max_element(v.begin(), v.end()));
    long double mean = 0, squares = 0;
    for (double x : v) mean += x;
    mean /= static_cast<long double>(v.size());
    for (double x : v) squares += (x - mean) * (x - mean);
    const double sd = v.size() > 1 ? static_cast<double>(std::sqrt(squares / (v.size() - 1))) : 0.0;
    EXPECT_NEAR(s.mean, static_cast<double>(mean), 1e-12 * std::fabs(static_cast<double>(mean)));
    EXPECT_NEAR(s.sd, sd, 1e-9 * sd + 1e-12 * std::fabs(static_cast<double>(mean)));
  }
  EXPECT_TRUE(std::isnan(SpreadOf({}).mean));
}

// ---------------------------------------------------------------------------
// Worst case

TEST(SearchBox, MonotonicFiguresComeFromCornersOthersFromTheInterior) {
  const BoxExtremes r = SearchBox([](const BoxPoint& x, BoxValues& v) {
    v[0] = -((x[0] - 0.3) * (x[0] - 0.3) + (x[2] + 0.6) * (x[2] + 0.6));  // peak inside
    v[1] = x[0] + x[1] + x[2] + x[3] + x[4];
    v[2] = x[1] * x[3];  // monotonic along every axis although not overall
    v[3] = x[4] * x[4] - x[0];  // valley inside along x4
    return true;
  });
  EXPECT_EQ(r.cornersSuffice, (std::array<bool, kFigures>{false, true, true, false}));
  EXPECT_NEAR(r.max[0], 0.0, 1e-12);
  EXPECT_EQ(r.min[0], -(1.3 * 1.3 + 1.6 * 1.6));
  EXPECT_EQ(r.min[1], -5.0);
  EXPECT_EQ(r.max[1], 5.0);
  EXPECT_EQ(r.min[2], -1.0);
  EXPECT_EQ(r.max[2], 1.0);
  EXPECT_NEAR(r.min[3], -1.0, 1e-12);
  EXPECT_EQ(r.max[3], 2.0);
  EXPECT_EQ(r.badCorners, 0);
}

TEST(SearchBox, PointsWithoutFiguresAreCountedAndVouchForNothing) {
  const BoxExtremes r = SearchBox([](const BoxPoint& x, BoxValues& v) {
    if (x[0] > 0.9 && x[1] > 0.9) return false;
    v = {x[0], x[1], x[2], x[3]};
    return true;
  });
  EXPECT_EQ(r.badCorners, 8);
  EXPECT_GT(r.badPoints, 8u);
  EXPECT_EQ(r.cornersSuffice, (std::array<bool, kFigures>{}));
  EXPECT_EQ(r.max[2], 1.0);
}

struct Design {
  DesignInputs in;
  std::int32_t er;
  double pct;
};
const Design kStableDesigns[] = {
    {kDefault, 24, 5},
    {kDefault, 12, 10},
    {kDefault, 0, 1},
    {{20, 600, 10000, 10000, 68}, 96, 1},
    {{0, 600, 10000, 10000, 400}, 24, 5},
    {{-6, 50, 4700, 22000, 10}, 48, 2},
};

TEST(WorstCase, BoundsEveryUniformSampleAndIsReachedAtACorner) {
  for (const Design& d : kStableDesigns) {
    SCOPED_TRACE(::testing::Message() << "series " << d.er << " gain " << d.in.gainDb << " R5 " << d.in.R5);
    const Circuit c = CircuitOf(Designed(d.in, d.er));
    const BoxExtremes wc = WorstCase(c, d.pct);
    const MonteCarloResult mc = MonteCarlo(c, d.pct, Distribution::Uniform, 20000, 99);
    ASSERT_EQ(wc.badPoints, 0u);
    ASSERT_EQ(mc.bad, 0u);
    BoxValues cornerMin, cornerMax;
    cornerMin.fill(kNaN);
    cornerMax.fill(kNaN);
    for (unsigned mask = 0; mask < 32; ++mask) {
      std::array<double, kResistors> factors;
      for (std::size_t i = 0; i < kResistors; ++i) factors[i] = (mask >> i) & 1u ? 1 + d.pct / 100 : 1 - d.pct / 100;
      Figures f;
      ASSERT_TRUE(EvaluateCircuit(c, factors, f));
      const BoxValues v = f.spread();
      for (std::size_t k = 0; k < kFigures; ++k) {
        cornerMin[k] = std::isnan(cornerMin[k]) ? v[k] : std::min(cornerMin[k], v[k]);
        cornerMax[k] = std::isnan(cornerMax[k]) ? v[k] : std::max(cornerMax[k], v[k]);
      }
    }
    for (std::size_t k = 0; k < kFigures; ++k) {
      SCOPED_TRACE(k);
      EXPECT_LE(wc.min[k], mc.figures[k].min);
      EXPECT_GE(wc.max[k], mc.figures[k].max);
      EXPECT_LE(wc.min[k], cornerMin[k]);
      EXPECT_GE(wc.max[k], cornerMax[k]);
      if (wc.cornersSuffice[k]) {
        EXPECT_EQ(wc.min[k], cornerMin[k]);
        EXPECT_EQ(wc.max[k], cornerMax[k]);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The whole analysis

TEST(Tolerance, ZeroPercentCollapsesEveryFigureToTheNominalDesign) {
  for (const Design& d : kStableDesigns) {
    for (Distribution dist : {Distribution::Uniform, Distribution::Normal}) {
      SCOPED_TRACE(::testing::Message() << "series " << d.er << " normal " << (dist == Distribution::Normal));
      const DesignState s = Designed(d.in, d.er);
      const ToleranceReport r = AnalyseTolerance(s, {0.0, dist, 3000, 4});
      ASSERT_TRUE(r.nominalGood);
      EXPECT_FALSE(r.unstable());
      const BoxValues nominal{s.Zor, GainDb(s.Gainr), s.Zio, s.Decr};
      EXPECT_EQ(r.nominal.spread(), nominal);
      for (std::size_t k = 0; k < kFigures; ++k) {
        const Spread& m = r.monteCarlo.figures[k];
        EXPECT_EQ(r.worst.min[k], nominal[k]);
        EXPECT_EQ(r.worst.max[k], nominal[k]);
        for (double v : {m.mean, m.p01, m.p99, m.min, m.max}) EXPECT_EQ(v, nominal[k]) << k;
        EXPECT_EQ(m.sd, 0.0);
      }
    }
  }
}

TEST(Tolerance, MonteCarloSpreadAgreesWithTheSensitivities) {
  // At half a percent the figures are nearly linear in the resistors: the
  // spread follows from the sensitivities and each resistor's deviation.
  constexpr double kPct = 0.5;
  for (const Design& d : kStableDesigns) {
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

TEST(Tolerance, CustomaryToleranceOfEachSeries) {
  const std::pair<std::int32_t, double> cases[] = {{3, 20}, {6, 20}, {12, 10}, {24, 5}, {48, 2}, {96, 1}, {192, 0.5}, {0, 1}};
  for (const auto& [er, pct] : cases) EXPECT_EQ(CustomaryTolerancePct(er), pct) << er;
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

TEST(Tolerance, UnstableAndFaultingCircuitsAreCountedNotAveraged) {
  // Series 6 at its customary 20 %: part of the box has D <= 0.
  const ToleranceReport r = AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Uniform, 20000, 1});
  EXPECT_TRUE(r.nominalGood);
  EXPECT_TRUE(r.unstable());
  EXPECT_GT(r.worst.badCorners, 0);
  EXPECT_GT(r.monteCarlo.bad, 0u);
  EXPECT_LT(r.monteCarlo.bad, 20000u);
  for (const Spread& s : r.monteCarlo.figures) EXPECT_TRUE(std::isfinite(s.mean) && std::isfinite(s.sd));
  EXPECT_GT(r.monteCarlo.figures[0].min, 0.0);
  const std::string warning = UnstableWarning(r);
  EXPECT_NE(warning.find(std::to_string(r.monteCarlo.bad) + " of 20000"), std::string::npos) << warning;
  EXPECT_NE(warning.find(std::to_string(r.worst.badCorners) + " of 32"), std::string::npos) << warning;
  EXPECT_TRUE(UnstableWarning(AnalyseTolerance(Designed(kDefault, 24), {5, Distribution::Uniform, 2000, 1})).empty());
  // A stable stage of 50 milliohms: a small Zo is no instability.
  EXPECT_TRUE(UnstableWarning(AnalyseTolerance(Designed({0, 0.05, 10000, 10000, 0.01}, 24), {5, Distribution::Uniform, 2000, 1})).empty());

  // R3 = 0 faults in Zio: every sample is counted as bad, nothing throws.
  const Circuit faulting{600, {10000, 2400, 0, 3900, 68}};
  Figures f;
  EXPECT_FALSE(EvaluateCircuit(faulting, {1, 1, 1, 1, 1}, f));
  const MonteCarloResult mc = MonteCarlo(faulting, 5, Distribution::Normal, 500, 1);
  EXPECT_EQ(mc.bad, 500u);
  EXPECT_TRUE(std::isnan(mc.figures[0].mean));
}

TEST(Tolerance, UnstableWarningGivesEachCountWithItsShare) {
  const std::string head = "WARNING: UNSTABLE WITHIN THE TOLERANCE. The output impedance is not positive and finite";
  const std::string tail = " points of the worst-case search: there the positive feedback makes the stage unstable or latch. "
                           "Those circuits are counted, not averaged; the figures describe the others only.";
  struct Case { bool nominalGood; std::uint64_t bad, samples; int badCorners; std::uint64_t badPoints, points; std::string middle; };
  const Case cases[] = {
      {false, 3, 8,      32, 0, 0,  " for the nominal circuit itself, in 3 of 8 (37.500 %) Monte Carlo samples, 32 of 32 (100.000 %) corners and 0 of 0 (0.000 %)"},
      {true,  0, 100000, 1,  2, 7,  " in 0 of 100000 (0.000 %) Monte Carlo samples, 1 of 32 (3.125 %) corners and 2 of 7 (28.571 %)"},
      {true,  1, 3,      0,  0, 40, " in 1 of 3 (33.333 %) Monte Carlo samples, 0 of 32 (0.000 %) corners and 0 of 40 (0.000 %)"},
      {true,  1, 1,      0,  1, 1,  " in 1 of 1 (100.000 %) Monte Carlo samples, 0 of 32 (0.000 %) corners and 1 of 1 (100.000 %)"},
      {true,  0, 5,      0,  0, 40, ""},  // all stable: no warning
  };
  for (const Case& c : cases) {
    ToleranceReport r;
    r.nominalGood = c.nominalGood;
    r.monteCarlo.bad = c.bad;
    r.monteCarlo.samples = c.samples;
    r.worst.badCorners = c.badCorners;
    r.worst.badPoints = c.badPoints;
    r.worst.points = c.points;
    EXPECT_EQ(UnstableWarning(r), c.middle.empty() ? "" : head + c.middle + tail);
  }
}

}  // namespace
}  // namespace velmora::explore
