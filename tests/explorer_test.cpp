// The design explorer: every-series rows against single runs, the search
// laid open, the tolerance analysis (worst case, Monte Carlo, sensitivity),
// the generator behind it, and the table forms read back.
#include "main/explorer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/random.h"
#include "fp_testing.h"
#include "common/series.h"
#include "common/table.h"
#include "main/tolerance.h"

namespace velmora::main {
namespace {

using common::Cell;
using common::FpFault;
using common::Table;
using velmora::testing::FaultOf;
using velmora::testing::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr DesignInputs kDefault{0.0, 600, 10000, 10000, 68};

DesignState Designed(const DesignInputs& in, std::int32_t er) {
  DesignState s;
  EXPECT_EQ(SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, er, s), DesignOutcome::Success);
  return s;
}

// ---------------------------------------------------------------------------
// The generator

TEST(RandomDraws, SymmetricIsOpenCentredAndUniform) {
  common::Random random(3);
  constexpr int kDraws = 200000;
  double sum = 0, squares = 0, lo = 1, hi = -1;
  for (int i = 0; i < kDraws; ++i) {
    const double u = random.Symmetric();
    ASSERT_TRUE(u > -1.0 && u < 1.0 && u != 0.0) << u;
    sum += u;
    squares += u * u;
    lo = std::min(lo, u);
    hi = std::max(hi, u);
  }
  EXPECT_NEAR(sum / kDraws, 0.0, 0.005);
  EXPECT_NEAR(squares / kDraws, 1.0 / 3.0, 0.005);
  EXPECT_LT(lo, -0.999);
  EXPECT_GT(hi, 0.999);
}

TEST(RandomDraws, NormalHasUnitSpreadAndNormalTails) {
  common::Random random(11);
  constexpr int kDraws = 400000;
  double sum = 0, squares = 0;
  int beyond1 = 0, beyond3 = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double z = random.Normal();
    sum += z;
    squares += z * z;
    beyond1 += std::fabs(z) > 1.0;
    beyond3 += std::fabs(z) > 3.0;
  }
  EXPECT_NEAR(sum / kDraws, 0.0, 0.006);
  EXPECT_NEAR(squares / kDraws, 1.0, 0.01);
  EXPECT_NEAR(static_cast<double>(beyond1) / kDraws, 0.3173, 0.004);
  EXPECT_NEAR(static_cast<double>(beyond3) / kDraws, 0.0027, 0.0004);
}

TEST(RandomDraws, SeedsAndJumpsGiveSeparateStreams) {
  common::Random a(7), b(7), other(8), jumped(7);
  jumped.Jump();
  int sameAsOther = 0, sameAsJumped = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::uint64_t x = a.NextBits();
    ASSERT_EQ(x, b.NextBits());
    sameAsOther += x == other.NextBits();
    sameAsJumped += x == jumped.NextBits();
  }
  EXPECT_EQ(sameAsOther, 0);
  EXPECT_EQ(sameAsJumped, 0);
}

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

TEST(SpreadOf, MatchesTheSortedDefinition) {
  common::Random random(5);
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
// Every series

TEST(SeriesList, EntriesAreReadLikeTheSelector) {
  struct Case { const char16_t* text; std::vector<std::int32_t> list; };
  const Case cases[] = {
      {u"",                 {0}},
      {u"∞,24, 48",         {0, 24, 48}},
      {u"x,,-6,0x10",       {0, 0, -6, 16}},
      {u"24 ,192",          {0, 192}},  // a trailing space is not a whole number
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSeriesList(c.text), c.list);
}

TEST(SeriesRows, AgreeWithSingleRunsOfTheSameInputs) {
  const DesignInputs inputs[] = {
      kDefault,
      {20, 600, 10000, 10000, 68},
      {0, 600, 10000, 1200, 200},   // series 3 and 6 fault inside the search, the others succeed
      {0, 600, 10000, 10000, 470},  // R5 too large everywhere
      {0, 600, 10000, 900, 68},     // R3 too small
  };
  std::vector<std::int32_t> list = DefaultSeriesList();
  list.insert(list.end(), {10, -24, 1000});
  for (const DesignInputs& in : inputs) {
    const std::vector<SeriesRow> rows = ExploreSeries(in, list);
    ASSERT_EQ(rows.size(), list.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "R3 " << in.R3 << " R5 " << in.R5 << " series " << list[i]);
      const SeriesRow& row = rows[i];
      DesignState s;
      DesignOutcome outcome = DesignOutcome::NotANumber;
      const std::optional<FpFault> fault =
          FaultOf([&] { outcome = SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, list[i], s); });
      EXPECT_EQ(row.ER, list[i]);
      EXPECT_EQ(row.result.fault, fault);
      if (!fault) {
        EXPECT_EQ(row.result.outcome, outcome);
      }
      if (outcome == DesignOutcome::R5TooLarge || fault) continue;
      EXPECT_TRUE(Same(row.state.R2, s.R2) && Same(row.state.R4, s.R4));
      EXPECT_TRUE(Same(row.state.Zor, s.Zor) && Same(row.state.Gainr, s.Gainr));
      EXPECT_TRUE(Same(row.state.Zio, s.Zio) && Same(row.state.Decr, s.Decr));
      EXPECT_NEAR(row.zoErrorPct, (s.Zor - in.Zo) / in.Zo * 100, 1e-9);
      EXPECT_NEAR(row.gainDb, 20 * std::log10(s.Gainr), 1e-12);
      EXPECT_NEAR(row.gainErrorDb, 20 * std::log10(s.Gainr) - in.gainDb, 1e-12);
    }
  }
  // A fault ends its own row only: the rows after it still succeed.
  const std::vector<SeriesRow> mixed = ExploreSeries(inputs[2], {3, 24});
  EXPECT_EQ(mixed[0].result.fault, FpFault::DivideByZero);
  EXPECT_TRUE(mixed[1].result.succeeded());
}

// ---------------------------------------------------------------------------
// The neighbour search

TEST(SearchTrace, Series24FollowsTheDescribedOrder) {
  const SearchTrace t = TraceSearch(kDefault, 24);
  ASSERT_TRUE(t.searched && t.complete);
  EXPECT_EQ(t.roundedR2, 2200.0);
  EXPECT_EQ(t.roundedR4, 3900.0);
  const double pairs[9][3] = {{3900, 2200, 1.122302}, {3900, 2000, 1.249259}, {3900, 2400, 1.004677},
                              {3600, 2200, 1.049955}, {3600, 2000, 1.082180}, {3600, 2400, 1.215563},
                              {4300, 2200, 1.337721}, {4300, 2000, 1.461127}, {4300, 2400, 1.214315}};
  ASSERT_EQ(t.steps.size(), 9u);
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_NEAR(t.steps[i].r4, pairs[i][0], 1e-9);
    EXPECT_NEAR(t.steps[i].r2, pairs[i][1], 1e-9);
    EXPECT_NEAR(t.steps[i].m, pairs[i][2], 5e-7);
  }
  EXPECT_EQ(t.winner, 2);
  EXPECT_EQ(t.R2, 2400.0);
  EXPECT_EQ(t.R4, 3900.0);
}

TEST(SearchTrace, WinnerIsTheFirstSmallestAndTheDesignsChoice) {
  const DesignInputs inputs[] = {kDefault, {20, 600, 10000, 10000, 68}, {0, 600, 10000, 10000, 400}};
  for (const DesignInputs& in : inputs) {
    for (std::int32_t er : {3, 6, 12, 24, 48, 96, 192, 10, -24}) {
      SCOPED_TRACE(::testing::Message() << "gain " << in.gainDb << " R5 " << in.R5 << " series " << er);
      const SearchTrace t = TraceSearch(in, er);
      const DesignState s = Designed(in, er);
      ASSERT_TRUE(t.complete);
      EXPECT_EQ(t.R2, s.R2);
      EXPECT_EQ(t.R4, s.R4);
      std::ptrdiff_t best = -1;
      for (std::size_t i = 0; i < t.steps.size(); ++i) {
        EXPECT_EQ(t.steps[i].skipped, !(t.steps[i].t > 0));
        if (!t.steps[i].skipped && (best < 0 || t.steps[i].m < t.steps[static_cast<std::size_t>(best)].m))
          best = static_cast<std::ptrdiff_t>(i);
      }
      EXPECT_EQ(t.winner, best);
      ASSERT_GE(best, 0);
      EXPECT_EQ(t.steps[static_cast<std::size_t>(best)].r2, s.R2);
      EXPECT_EQ(t.steps[static_cast<std::size_t>(best)].r4, s.R4);
    }
  }
}

TEST(SearchTrace, NoSearchWithoutSeriesOrBeforeIt) {
  const SearchTrace none = TraceSearch(kDefault, 0);
  EXPECT_FALSE(none.searched);
  EXPECT_TRUE(none.steps.empty());
  EXPECT_EQ(none.R2, 2266.6666666666665);
  const SearchTrace early = TraceSearch({0, 600, 10000, 10000, 470}, 24);
  EXPECT_FALSE(early.searched);
  EXPECT_EQ(early.result.outcome, DesignOutcome::R5TooLarge);
  // A fault inside the search keeps the pairs tried before it and names no winner.
  const SearchTrace faulted = TraceSearch({0, 600, 10000, 1200, 200}, 6);
  EXPECT_TRUE(faulted.searched);
  EXPECT_FALSE(faulted.complete);
  EXPECT_LT(faulted.steps.size(), 9u);
  EXPECT_EQ(faulted.winner, -1);
  EXPECT_EQ(faulted.result.fault, FpFault::DivideByZero);
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

TEST(Tolerance, SameSeedSameFiguresOnAnyNumberOfThreads) {
  const Circuit c = CircuitOf(Designed(kDefault, 24));
  constexpr std::uint64_t kSamples = 2 * kSamplesPerBlock + 1000;  // a partial last block
  for (Distribution dist : {Distribution::Uniform, Distribution::Normal}) {
    const MonteCarloResult one = MonteCarlo(c, 5, dist, kSamples, 77, 1);
    const MonteCarloResult three = MonteCarlo(c, 5, dist, kSamples, 77, 3);
    const MonteCarloResult other = MonteCarlo(c, 5, dist, kSamples, 78, 1);
    for (std::size_t k = 0; k < kFigures; ++k) {
      const Spread& a = one.figures[k];
      const Spread& b = three.figures[k];
      EXPECT_TRUE(Same(a.mean, b.mean) && Same(a.sd, b.sd) && Same(a.p01, b.p01) && Same(a.p99, b.p99) &&
                  Same(a.min, b.min) && Same(a.max, b.max))
          << k;
      EXPECT_NE(a.mean, other.figures[k].mean);
    }
  }
}

TEST(Tolerance, MonteCarloKeepsOnlyWhatItNeedsYetMatchesAllTheSamples) {
  // The samples drawn as documented (block b from the seed's generator after
  // b jumps, R1 ... R5 per sample), kept whole and summarised at once.
  const Circuit c = CircuitOf(Designed(kDefault, 12));
  constexpr std::uint64_t kSamples = 3 * kSamplesPerBlock + 123;
  for (Distribution dist : {Distribution::Uniform, Distribution::Normal}) {
    std::array<std::vector<double>, kFigures> all;
    std::uint64_t bad = 0;
    common::Random start(5), random = start;
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

  // R3 = 0 faults in Zio: every sample is counted as bad, nothing throws.
  const Circuit faulting{600, {10000, 2400, 0, 3900, 68}};
  Figures f;
  EXPECT_FALSE(EvaluateCircuit(faulting, {1, 1, 1, 1, 1}, f));
  const MonteCarloResult mc = MonteCarlo(faulting, 5, Distribution::Normal, 500, 1);
  EXPECT_EQ(mc.bad, 500u);
  EXPECT_TRUE(std::isnan(mc.figures[0].mean));
}

// ---------------------------------------------------------------------------
// Table forms

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, fieldStarted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = fieldStarted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n') {
      if (!field.empty() || fieldStarted || !rows.back().empty()) rows.back().push_back(field);
      field.clear();
      fieldStarted = false;
      rows.emplace_back();
    } else {
      field += c;
    }
  }
  rows.pop_back();
  return rows;
}

// A JSON value: its members or elements, or its text (numbers and strings
// unescaped as written; "null", "true", "false" as such).
struct Json {
  std::string text;
  bool isString = false;
  std::vector<std::string> keys;  // of an object, one per element
  std::vector<Json> elements;     // of an array or an object
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& s) : s_(s) {}
  Json Value() {
    Skip();
    Json v;
    const char c = s_.at(i_);
    if (c == '{' || c == '[') {
      ++i_;
      for (Skip(); s_.at(i_) != (c == '{' ? '}' : ']'); Skip()) {
        if (c == '{') {
          const std::string key = Value().text;
          Skip();
          EXPECT_EQ(s_.at(i_++), ':');
          v.keys.push_back(key);
          v.elements.push_back(Value());
        } else {
          v.elements.push_back(Value());
        }
        Skip();
        if (s_.at(i_) == ',') ++i_;
      }
      ++i_;
    } else if (c == '"') {
      v.isString = true;
      for (++i_; s_.at(i_) != '"'; ++i_) {
        if (s_[i_] == '\\') {
          const char e = s_.at(++i_);
          if (e == 'u') {
            v.text += static_cast<char>(std::stoi(s_.substr(i_ + 1, 4), nullptr, 16));
            i_ += 4;
          } else {
            v.text += e;
          }
        } else {
          v.text += s_[i_];
        }
      }
      ++i_;
    } else {
      while (i_ < s_.size() && std::string_view(",}] \n\r").find(s_[i_]) == std::string_view::npos) v.text += s_[i_++];
    }
    return v;
  }
  bool AtEnd() {
    Skip();
    return i_ == s_.size();
  }

 private:
  void Skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }
  const std::string& s_;
  std::size_t i_ = 0;
};

double ReadDouble(const std::string& text) {
  double x = kNaN;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << text;
  return x;
}

// The cell as CSV or JSON must carry it: the same double, digits, text or flag.
void ExpectCellReadsBack(const Cell& cell, const std::string& text, bool jsonString, bool json) {
  switch (cell.kind) {
    case Cell::Kind::Null: EXPECT_EQ(text, json ? "null" : ""); break;
    case Cell::Kind::Number: EXPECT_TRUE(Same(ReadDouble(text), cell.number)) << text; break;
    case Cell::Kind::Integer: EXPECT_EQ(text, cell.text); break;
    case Cell::Kind::Bool: EXPECT_EQ(text, cell.flag ? "true" : "false"); break;
    case Cell::Kind::Text:
      EXPECT_EQ(text, cell.text);
      if (json) {
        EXPECT_TRUE(jsonString);
      }
      break;
  }
}

std::vector<Table> AllKindsOfTables() {
  std::vector<Table> tables = SeriesTables(kDefault, ExploreSeries({0, 600, 10000, 1200, 200}, DefaultSeriesList()));
  for (Table& t : SearchTables(kDefault, TraceSearch(kDefault, 6))) tables.push_back(std::move(t));
  for (Table& t : ToleranceTables(AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Normal, 3000, 9})))
    tables.push_back(std::move(t));
  Table odd;
  odd.name = "odd";
  odd.columns = {{"x", "x"}, {"s", "s"}};
  for (double x : {-0.0, 0.1, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -123456789012.5, 1e21}) {
    odd.rows.push_back({Cell::Number(x), Cell::Text("a,b \"quoted\"\nline", "shown")});
  }
  odd.rows.push_back({Cell::Null(), Cell::Text("tab\there \\ back")});
  tables.push_back(odd);
  return tables;
}

TEST(TableForms, CsvReadsBackToTheSameValues) {
  const std::vector<Table> tables = AllKindsOfTables();
  const auto rows = ParseCsv(common::RenderTables(tables, common::TableFormat::Csv));
  std::size_t line = 0;
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    if (line > 0) {
      EXPECT_TRUE(rows.at(line++).empty());  // the blank line between tables
    }
    std::vector<std::string> keys;
    for (const auto& c : t.columns) keys.push_back(c.key);
    EXPECT_EQ(rows.at(line++), keys);
    for (const auto& row : t.rows) {
      const auto& fields = rows.at(line++);
      ASSERT_EQ(fields.size(), row.size());
      for (std::size_t i = 0; i < row.size(); ++i) ExpectCellReadsBack(row[i], fields[i], false, false);
    }
  }
  EXPECT_EQ(line, rows.size());
}

TEST(TableForms, JsonReadsBackToTheSameValues) {
  const std::vector<Table> tables = AllKindsOfTables();
  const std::string text = common::RenderTables(tables, common::TableFormat::Json, "\r\n");
  JsonReader reader(text);
  const Json doc = reader.Value();
  EXPECT_TRUE(reader.AtEnd());
  ASSERT_EQ(doc.keys.size(), tables.size());  // in order; the two "inputs" records repeat a name
  for (std::size_t n = 0; n < tables.size(); ++n) {
    const Table& t = tables[n];
    SCOPED_TRACE(t.name);
    EXPECT_EQ(doc.keys[n], t.name);
    std::vector<const Json*> objects;
    if (t.record) {
      objects.push_back(&doc.elements[n]);
    } else {
      for (const Json& e : doc.elements[n].elements) objects.push_back(&e);
    }
    ASSERT_EQ(objects.size(), t.rows.size());
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      ASSERT_EQ(objects[r]->keys.size(), t.columns.size());
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        EXPECT_EQ(objects[r]->keys[i], t.columns[i].key);
        const Json& value = objects[r]->elements[i];
        ExpectCellReadsBack(t.rows[r][i], value.text, value.isString, true);
      }
    }
  }
}

TEST(TableForms, TextColumnsAlignByCodePoint) {
  const std::vector<Table> tables = SeriesTables(kDefault, ExploreSeries(kDefault, DefaultSeriesList()));
  const std::string text = common::RenderTables({tables[1]}, common::TableFormat::Text);
  auto codePoints = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
  };
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(lines.size(), 2 + DefaultSeriesList().size());  // title, header, rows
  // "η %" ends where each η value ends; the series column holds "∞".
  const auto headingEnd = codePoints(lines[1].substr(0, lines[1].find("η %") + std::string("η %").size()));
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::size_t eta = lines[i].find("89.4");
    ASSERT_NE(eta, std::string::npos) << lines[i];
    EXPECT_EQ(codePoints(lines[i].substr(0, eta + 4)), headingEnd) << lines[i];
  }
  EXPECT_EQ(lines[2].find("∞"), lines[2].find_first_not_of(' '));
}

}  // namespace
}  // namespace velmora::main
