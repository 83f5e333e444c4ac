// The yield, its confidence interval, and the histogram's bins.
#include "explore/yield.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>

#include "designs.h"
#include "explore/histogram_picture.h"
#include "explore/random.h"

namespace velmora::explore {
namespace {

using testing::Designed;
using testing::kDefault;

TEST(WilsonInterval, HandComputedValues) {
  const struct {
    std::uint64_t part, whole;
    double low, high;
  } cases[] = {
      {0, 10, 0.0, 0.2775327998628892},  // touches 0 exactly, and is not empty
      {10, 10, 0.7224672001371108, 1.0},
      {5, 10, 0.236593090512564, 0.763406909487436},
      {1, 3, 0.061491944720396242, 0.79234039919795225},  // asymmetric around 1/3
      {95, 100, 0.88824953076808086, 0.97845632084563203},
      {0, 100000, 0.0, 3.8413112583039626e-5},
  };
  for (const auto& c : cases) {
    const Proportion p = WilsonInterval(c.part, c.whole);
    EXPECT_DOUBLE_EQ(p.share, static_cast<double>(c.part) / static_cast<double>(c.whole));
    EXPECT_NEAR(p.low, c.low, 1e-15) << c.part << "/" << c.whole;
    EXPECT_NEAR(p.high, c.high, 1e-15) << c.part << "/" << c.whole;
  }
  EXPECT_TRUE(std::isnan(WilsonInterval(0, 0).share));
}

TEST(BinCounts, EdgesBelongToTheBinAboveAndTheTopEdgeToTheLast) {
  const Binning b{0.0, 0.1, 10};
  const struct {
    double x;
    int bin;  // -1 below, 10 above
  } cases[] = {
      {-1e-300, -1}, {0.0, 0}, {0.09999999999999999, 0}, {0.1, 1},
      {0.3, 2},                  // 0.3 < 0.1 * 3 = 0.30000000000000004: the edge as computed decides
      {0.30000000000000004, 3},  // exactly Edge(3)
      {b.hi(), 9}, {std::nextafter(b.hi(), 2.0), 10}, {std::nan(""), -1},
  };
  for (const auto& c : cases) {
    BinCounts counts{std::vector<std::uint64_t>(10, 0)};
    counts.Add(b, c.x);
    const int got = counts.below ? -1 : counts.above ? 10 : static_cast<int>(std::find(counts.bins.begin(), counts.bins.end(), 1u) - counts.bins.begin());
    EXPECT_EQ(got, c.bin) << c.x;
  }
  // Every value lands in the bin whose computed edges hold it.
  const Binning odd{407.3, 15.71, 40};
  Random random(3);
  for (int n = 0; n < 20000; ++n) {
    const double x = odd.lo + (odd.hi() - odd.lo) * (random.Symmetric() + 1) / 2;
    BinCounts counts{std::vector<std::uint64_t>(40, 0)};
    counts.Add(odd, x);
    const auto i = static_cast<std::size_t>(std::find(counts.bins.begin(), counts.bins.end(), 1u) - counts.bins.begin());
    ASSERT_LT(i, 40u) << x;
    EXPECT_TRUE(odd.Edge(i) <= x && (x < odd.Edge(i + 1) || i == 39)) << x;
  }
}

TEST(Yield, CountsMatchAPlainLoopOverTheSameDraws) {
  const main::DesignState state = Designed(kDefault, 24);
  ToleranceSettings s{5, Distribution::Uniform, 20000, 7};
  s.acceptZoPct = 5;
  const ToleranceReport r = AnalyseTolerance(state, s);
  // The sampler's draws for one block: Random(seed), R1 ... R5 per sample.
  Random random(7);
  std::uint64_t accepted = 0;
  BinCounts zo{std::vector<std::uint64_t>(s.bins, 0)}, gain{std::vector<std::uint64_t>(s.bins, 0)};
  for (std::uint64_t n = 0; n < s.samples; ++n) {
    std::array<double, kResistors> factors;
    for (double& f : factors) f = 1.0 + 0.05 * random.Symmetric();
    Figures fig;
    if (!EvaluateCircuit(r.circuit, factors, fig)) continue;
    accepted += fig.Zo >= 570 && fig.Zo <= 630 && std::fabs(fig.GainDb) <= 1.0;
    zo.Add(r.monteCarlo.counts.zoBins, fig.Zo);
    gain.Add(r.monteCarlo.counts.gainBins, fig.GainDb);
  }
  EXPECT_EQ(r.monteCarlo.counts.accepted, accepted);
  EXPECT_EQ(r.monteCarlo.counts.zo.bins, zo.bins);
  EXPECT_EQ(r.monteCarlo.counts.gainDb.bins, gain.bins);
  EXPECT_EQ(r.monteCarlo.counts.zo.above, zo.above);
  EXPECT_EQ(r.monteCarlo.counts.gainDb.below, gain.below);
  EXPECT_GT(accepted, 0u);
  EXPECT_LT(accepted, s.samples);
  // A stable box: the bins span the worst case, which holds every uniform sample.
  EXPECT_FALSE(r.plan.fitBins);
  EXPECT_LT(r.monteCarlo.counts.zoBins.lo, r.worst.min[0]);
  EXPECT_GT(r.monteCarlo.counts.zoBins.hi(), r.worst.max[0]);
  EXPECT_EQ(zo.below + zo.above + gain.below + gain.above, 0u);
}

TEST(Yield, ThreadsAndBlocksChangeNoCount) {
  const Circuit c = CircuitOf(Designed(kDefault, 12));
  CountPlan plan{ZoWindow(600, 10), GainWindow(0, 1), BinsOver(450, 800, 30), BinsOver(-3, 3, 30), true};
  const MonteCarloResult one = MonteCarlo(c, 10, Distribution::Normal, 200000, 4, 1, &plan);
  const MonteCarloResult three = MonteCarlo(c, 10, Distribution::Normal, 200000, 4, 3, &plan);
  EXPECT_EQ(one.counts.accepted, three.counts.accepted);
  EXPECT_EQ(one.counts.zo.bins, three.counts.zo.bins);
  EXPECT_EQ(one.counts.zoBins.lo, three.counts.zoBins.lo);
  EXPECT_EQ(one.counts.gainDb.above, three.counts.gainDb.above);
  const auto binned = std::accumulate(one.counts.zo.bins.begin(), one.counts.zo.bins.end(), std::uint64_t{0});
  EXPECT_EQ(binned + one.counts.zo.below + one.counts.zo.above, 200000 - one.bad);
}

TEST(Yield, ZeroToleranceIsAllOrNothing) {
  const main::DesignState state = Designed(kDefault, 24);  // Zo 602.806, gain 0.517 dB
  const struct {
    double acceptZoPct, acceptGainDb, share;
  } cases[] = {{10, 1, 1.0}, {0.4, 1, 0.0}, {0.5, 1, 1.0}, {10, 0.5, 0.0}};
  for (const auto& c : cases) {
    ToleranceSettings s{0, Distribution::Normal, 1000, 1};
    s.acceptZoPct = c.acceptZoPct;
    s.acceptGainDb = c.acceptGainDb;
    const ToleranceReport r = AnalyseTolerance(state, s);
    const Proportion y = YieldOf(r.monteCarlo);
    EXPECT_EQ(y.share, c.share) << c.acceptZoPct << " " << c.acceptGainDb;
    EXPECT_EQ(c.share == 1.0 ? y.high : y.low, c.share);
    // All samples are the nominal circuit: one bin holds them, the middle one.
    const Histogram h = HistogramOf(r, Figure::Zo);
    EXPECT_EQ(h.tallest(), 1000u);
    EXPECT_EQ(h.counts.bins[h.binning.count / 2], 1000u);
  }
}

TEST(Histogram, UnstableSamplesAreInNoBinAndCountedInTheSvg) {
  // Series 6 at its customary 20 %: part of the box is unstable.
  const ToleranceReport r = AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Uniform, 20000, 1});
  ASSERT_GT(r.monteCarlo.bad, 0u);
  for (Figure f : {Figure::Zo, Figure::GainDb}) {
    const Histogram h = HistogramOf(r, f);
    const auto binned = std::accumulate(h.counts.bins.begin(), h.counts.bins.end(), std::uint64_t{0});
    EXPECT_EQ(binned + h.counts.below + h.counts.above + h.unstable, 20000u);
    EXPECT_EQ(h.unstable, r.monteCarlo.bad);
  }
  // Zo grows without bound towards the unstable corners: the few samples out
  // there are counted right of the axis instead of squeezing the rest into a bin.
  const Histogram zo = HistogramOf(r, Figure::Zo);
  EXPECT_GT(zo.counts.above, 0u);
  EXPECT_LT(zo.binning.hi(), 1e-3 * zo.worstMax);  // the worst case reaches 4.6e12 ohms
  EXPECT_LT(zo.tallest(), 20000u * 3 / 4);
  const std::string svg = HistogramSvg(HistogramOf(r, Figure::Zo), HistogramOf(r, Figure::GainDb));
  std::size_t bars = 0;
  for (std::size_t at = svg.find("class=\"bar\""); at != std::string::npos; at = svg.find("class=\"bar\"", at + 1)) ++bars;
  EXPECT_EQ(bars, 2 * r.settings.bins);
  EXPECT_NE(svg.find("unstable (in no bin) " + std::to_string(r.monteCarlo.bad)), std::string::npos);
}

TEST(AxisTicks, RoundStepsAndOnePrefix) {
  const struct {
    double lo, hi;
    bool si;
    const char* first;
    const char* last;
    std::size_t n;
  } cases[] = {
      {407, 1030, true, "0.6k", "1.0k", 3},
      {-2.1, 3.6, false, "-2", "3", 6},
      {540, 660, true, "540", "660", 7},
      {-0.05, 0.05, false, "-0.04", "0.04", 5},
      {-300, 11000, true, "0", "10k", 6},  // 0 shows without a sign or a prefix
  };
  for (const auto& c : cases) {
    const std::vector<Tick> t = AxisTicks(c.lo, c.hi, 6, c.si);
    ASSERT_EQ(t.size(), c.n) << c.lo;
    EXPECT_EQ(t.front().label, c.first);
    EXPECT_EQ(t.back().label, c.last);
  }
}

}  // namespace
}  // namespace velmora::explore
