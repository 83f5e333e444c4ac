// The generator behind the Monte Carlo analysis: draws, seeds and jumps.
#include "explore/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace velmora::explore {
namespace {

// ---------------------------------------------------------------------------
// The generator

TEST(RandomDraws, SymmetricIsOpenCentredAndUniform) {
  Random random(3);
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
  Random random(11);
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
  Random a(7), b(7), other(8), jumped(7);
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

TEST(RandomDraws, AJumpDropsTheSpareNormal) {
  Random used(7), fresh(7);
  used.Normal();  // leaves the second of its pair for the next call
  used.Jump();
  fresh.Jump();
  EXPECT_EQ(used.Normal(), fresh.Normal());
}

}  // namespace
}  // namespace velmora::explore
