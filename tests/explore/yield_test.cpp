// The yield, its confidence interval, and the histogram's bins.
#include "explore/yield.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <string_view>

#include "designs.h"
#include "explore/histogram_picture.h"
#include "explore/random.h"

namespace velmora::explore {
namespace {

using testing::Designed;
using testing::kDefault;
using testing::kNegative;
using testing::kStableDesigns;
using testing::StableDesign;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double SvgWidth(std::string_view text) { return EstimatedTextWidth(text, 12); }

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
      {1, 1, 0.20654931437723742, 1.0},  // 1 / (1 + z^2)
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
  // Every value lands in the bin whose computed edges hold it: random values,
  // and each edge and the double below it, where the quotient rounds either way.
  const auto expectHeld = [](const Binning& bins, double x) {
    BinCounts counts{std::vector<std::uint64_t>(bins.count, 0)};
    counts.Add(bins, x);
    const auto i = static_cast<std::size_t>(std::find(counts.bins.begin(), counts.bins.end(), 1u) - counts.bins.begin());
    ASSERT_LT(i, bins.count) << x;
    EXPECT_TRUE(bins.Edge(i) <= x && (x < bins.Edge(i + 1) || i + 1 == bins.count)) << x;
  };
  const Binning odd{407.3, 15.71, 40};
  Random random(3);
  for (int n = 0; n < 20000; ++n) expectHeld(odd, odd.lo + (odd.hi() - odd.lo) * (random.Symmetric() + 1) / 2);
  for (const Binning& bins : {odd, b, Binning{-3.3, 0.15, 40}, Binning{1e-3, 7e-5, 30}, Binning{0.7, 0.3, 7},
                             Binning{4.48, 49.104, 3}}) {  // the double below Edge(1) divides to 1.0
    for (std::size_t i = 1; i < bins.count; ++i) {
      expectHeld(bins, bins.Edge(i));
      expectHeld(bins, std::nextafter(bins.Edge(i), -1e300));
    }
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

TEST(Histogram, TheTallestBarReachesTheTopAndEmptyBinsStayFlat) {
  const struct {
    DesignInputs in;
    std::uint64_t tallest;
  } cases[] = {{kDefault, 1}, {kNegative, 0}};  // one sample; no stable one
  for (const auto& c : cases) {
    const Histogram h = HistogramOf(AnalyseTolerance(Designed(c.in, 3), {5, Distribution::Uniform, 1, 1}), Figure::Zo);
    ASSERT_EQ(h.tallest(), c.tallest);
    double top = 0, bottom = 0, highest = 1e9;
    for (const Shape& s : LayOutHistogram(h, 800, 320, 16, SvgWidth)) {
      if (s.kind == Shape::Kind::Axis && s.x0 == s.x1) top = s.y0, bottom = s.y1;  // the vertical axis
      if (s.kind == Shape::Kind::Bar) highest = std::min(highest, s.y0);
    }
    EXPECT_EQ(highest, c.tallest ? top : bottom) << c.tallest;
  }
}

TEST(Histogram, BinsSpanNominalAndWorstCaseOrElseTheWindow) {
  // Every gain below 0 dB; then a design with no stable circuit at all.
  const Histogram gain = HistogramOf(
      AnalyseTolerance(Designed({-6, 600, 10000, 10000, 68}, 24), {1, Distribution::Uniform, 10, 1}), Figure::GainDb);
  EXPECT_LT(gain.binning.lo, gain.worstMin);
  EXPECT_GT(gain.binning.hi(), gain.worstMax);
  EXPECT_LT(gain.binning.hi(), 0.0);
  const Histogram none = HistogramOf(
      AnalyseTolerance(Designed(kNegative, 3), {5, Distribution::Uniform, 10, 1}), Figure::Zo);
  EXPECT_LT(none.binning.lo, none.window.lo);
  EXPECT_GT(none.binning.hi(), none.window.hi);
  // A single value: bins a hundredth of it wide either side, or 1 around 0.
  EXPECT_EQ(BinsOver(600, 600, 10).lo, 594.0);
  EXPECT_EQ(BinsOver(600, 600, 10).width, 12.0 / 10);
  EXPECT_EQ(BinsOver(0, 0, 10).lo, -1.0);
  EXPECT_EQ(BinsOver(0, 0, 10).width, 2.0 / 10);
}

TEST(Histogram, NominalOnlyRunBinsEverySampleAroundTheNominal) {
  // 0 %: the worst case and the percentiles are the nominal figure, whose
  // span of zero width gets bins of +-1 % around it; every sample lands in
  // the bin whose lower edge is the nominal.
  for (const StableDesign& d : kStableDesigns) {
    SCOPED_TRACE(::testing::Message() << "series " << d.er << " gain " << d.in.gainDb << " R5 " << d.in.R5);
    const ToleranceReport r = AnalyseTolerance(Designed(d.in, d.er), {0, Distribution::Uniform, 300, 2});
    EXPECT_FALSE(r.plan.fitBins);
    for (Figure f : {Figure::Zo, Figure::GainDb}) {
      const Histogram h = HistogramOf(r, f);
      const Binning expected = BinsOver(h.nominal, h.nominal, r.settings.bins);
      EXPECT_EQ(h.binning.lo, expected.lo);
      EXPECT_EQ(h.binning.width, expected.width);
      EXPECT_EQ(h.counts.bins[h.binning.count / 2], 300u);
      EXPECT_EQ(h.counts.below + h.counts.above + h.unstable, 0u);
      for (double mark : {h.worstMin, h.worstMax, h.p01, h.p99}) EXPECT_EQ(mark, h.nominal);
    }
  }
}

TEST(Histogram, MarksOnTheAxisEndsAreDrawnThoseBeyondAreNot) {
  Histogram h;
  h.binning = {0, 1, 10};
  h.counts.bins.assign(10, 1);
  h.nominal = 0;                            // the lower end
  h.worstMax = 10;                          // the upper end
  h.worstMin = -1e-9, h.p01 = h.p99 = kNaN;  // beyond it; none
  std::string marks;
  for (const Shape& s : LayOutHistogram(h, 800, 320, 16, SvgWidth)) {
    if (s.kind == Shape::Kind::Mark) marks += s.text + ";";
  }
  EXPECT_EQ(marks, "worst max;nominal;");
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
      {2.1e-9, 9.3e-9, true, "4n", "8n", 3},
      {1, 29, false, "5", "25", 5},             // a step of 5
      {5, 5, false, "", "", 0},               // no span: no ticks
      {-1e308, 1e308, false, "", "", 0},      // a span beyond the doubles
  };
  for (const auto& c : cases) {
    const std::vector<Tick> t = AxisTicks(c.lo, c.hi, 6, c.si);
    ASSERT_EQ(t.size(), c.n) << c.lo;
    if (c.n == 0) continue;
    EXPECT_EQ(t.front().label, c.first);
    EXPECT_EQ(t.back().label, c.last);
  }
  EXPECT_EQ(AxisTicks(1e308, 1.7e308, 6, true).size(), 4u);  // the ends' sum overflows, their difference does not
}

}  // namespace
}  // namespace velmora::explore
