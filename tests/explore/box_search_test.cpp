// The extremes over the tolerance box and the worst case of a circuit.
#include "explore/box_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "designs.h"
#include "explore/monte_carlo.h"

namespace velmora::explore {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using testing::Designed;
using testing::kStableDesigns;
using testing::StableDesign;

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

TEST(WorstCase, BoundsEveryUniformSampleAndIsReachedAtACorner) {
  for (const StableDesign& d : kStableDesigns) {
    SCOPED_TRACE(::testing::Message() << "series " << d.er << " gain " << d.in.gainDb << " R5 " << d.in.R5);
    const Circuit c = CircuitOf(Designed(d.in, d.er));
    const BoxExtremes wc = WorstCase(c, d.pct);
    const MonteCarloResult mc = MonteCarlo(c, d.pct, Distribution::Uniform, 20000, 99);
    ASSERT_EQ(wc.badPoints, 0u);
    ASSERT_EQ(mc.bad, 0u);
    BoxValues cornerMin, cornerMax;
    cornerMin.fill(kNaN);
    cornerMax.fill(kNaN);
    for (unsigned mask = 0; mask < unsigned{kCorners}; ++mask) {
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

}  // namespace
}  // namespace velmora::explore
