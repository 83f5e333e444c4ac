// The whole tolerance analysis: its report and the unstable warning.
#include "explore/tolerance_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "designs.h"

namespace velmora::explore {
namespace {

using main::GainDb;
using testing::Designed;
using testing::kDefault;
using testing::kStableDesigns;
using testing::StableDesign;

TEST(Tolerance, ZeroPercentCollapsesEveryFigureToTheNominalDesign) {
  for (const StableDesign& d : kStableDesigns) {
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
