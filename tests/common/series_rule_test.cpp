// The series functions against the rule written out once more, step by step
// as it is stated, for every series of up to 24 steps and a sample of longer
// ones: every member k = -1 ... N + 1, and roundings at the decade edges and
// on either side of every geometric mean between neighbouring members.
// The powers of ten and logarithms use the project's own exp and ln, as the
// rule does, so both targets give the same bits.
#include "fp_testing.h"
#include "common/crmath.h"
#include "common/series.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace velmora::common {
namespace {

using velmora::testing::Same;

// ---- The rule ----

constexpr double kRuleLn10 = 2.30258509299405;
constexpr double kRuleLog10Factor = 0.4342944819032518;

double RuleLog10(double x) { return CrLn(x) * kRuleLog10Factor; }

// Nearest integer, halves to even (the default rounding mode).
double RoundHalfEven(double v) { return std::nearbyint(v); }

double RuleSeriesValue(std::int64_t k, std::int64_t n) {
  const double q = static_cast<double>(k) / static_cast<double>(n);
  double v = CrExp(q * kRuleLn10);
  if (n > 24) {  // three significant digits, two exceptions
    const double h = RoundHalfEven(v * 100);
    if (h == 459) return 4.58;
    if (h == 919) return 9.2;
    return h / 100;
  }
  if (q > 0.395 && q < 0.687) v = v + 0.1;  // both windows, strict, on the double q
  if (q > 0.896 && q < 0.937) v = v - 0.1;
  return RoundHalfEven(v * 10) / 10;
}

// n > 0; the product takes a negative n as its magnitude.
double RuleRoundToSeries(double x, std::int64_t n) {
  if (x == 0 || n == 0) return x;
  const double s = x < 0 ? -1.0 : 1.0;
  const double a = std::fabs(x);
  double L = RuleLog10(a);
  if (L < 0) L = L - 1;
  const auto e = static_cast<std::int32_t>(L);  // toward zero
  constexpr std::array<double, 10> kExact{0.001, 0.01, 0.1, 1, 10, 100, 1000, 10000, 100000, 1000000};
  const double p = e >= -3 && e <= 6 ? kExact[static_cast<std::size_t>(e + 3)] : CrExp(e * kRuleLn10);
  const double g = a / p;
  const auto l = static_cast<std::int64_t>(RoundHalfEven(static_cast<double>(n) * RuleLog10(g)));
  const double m = RuleSeriesValue(l, n);
  const bool above = g > m;
  const double o = RuleSeriesValue(above ? l + 1 : l - 1, n);
  const double r = above ? 1.0 : -1.0;
  const double t = (((m / g) * o) / g - 1) * r;
  return t < 0 ? (o * s) * p : (m * s) * p;
}

// Series 1 ... 24, 25 ... 200 and a few long ones.
std::vector<std::int64_t> SeriesNumbers() {
  std::vector<std::int64_t> v;
  for (std::int64_t n = 1; n <= 200; ++n) v.push_back(n);
  for (std::int64_t n : {256, 384, 500, 1000}) v.push_back(n);
  return v;
}

// The transcription itself reproduces the rule's worked values.
TEST(SeriesRule, TranscriptionGivesTheRulesExamples) {
  const struct {
    std::int64_t k, n;
    double want;
  } cases[] = {
      {10, 24, 2.7}, {16, 24, 4.7}, {22, 24, 8.2}, {4, 10, 2.6}, {9, 10, 7.8}, {127, 192, 4.58},
      {185, 192, 9.2}, {11, 48, 1.69}, {-1, 24, 0.9}, {97, 96, 10.24}, {3, 25, 1.32},
  };
  for (const auto& c : cases) EXPECT_EQ(RuleSeriesValue(c.k, c.n), c.want) << c.k << "/" << c.n;
  EXPECT_EQ(RuleRoundToSeries(2550, 24), 2700);
  EXPECT_EQ(RuleRoundToSeries(919.3, 192), 919.9999999999999);
}

TEST(SeriesRule, SeriesValueFollowsTheRuleForEveryMember) {
  for (const std::int64_t n : SeriesNumbers()) {
    for (std::int64_t k = -1; k <= n + 1; ++k) {
      ASSERT_TRUE(Same(SeriesValue(k, n), RuleSeriesValue(k, n))) << k << "/" << n;
    }
  }
}

// A negative series number never takes the three-digit branch, so its q can
// sit exactly on a window's edge (79/200 is the double 0.395): the strict
// comparisons decide there.
TEST(SeriesRule, SeriesValueOfNegativeSeriesNumbersFollowsTheRule) {
  for (const std::int64_t n : {1, 2, 3, 6, 10, 12, 24, 25, 48, 96, 192, 200, 1000}) {
    for (std::int64_t k = -n - 1; k <= n + 1; ++k) {
      ASSERT_TRUE(Same(SeriesValue(k, -n), RuleSeriesValue(k, -n))) << k << "/" << -n;
    }
  }
  const struct {
    std::int64_t k, n;
    double want;
  } edges[] = {
      {-79, -200, 2.5},    // q == 0.395: no +0.1 (2.6 with it)
      {-687, -1000, 4.9},  // q == 0.687: no +0.1 (5.0 with it)
      {-896, -1000, 7.9},  // q == 0.896: no -0.1 (7.8 with it)
      {-937, -1000, 8.6},  // q == 0.937: no -0.1 (8.5 with it)
      {-80, -200, 2.6},    // just inside: 2.512 + 0.1
  };
  for (const auto& e : edges) EXPECT_EQ(SeriesValue(e.k, e.n), e.want) << e.k << "/" << e.n;
}

// Up to `count` representable doubles either side of x, and x.
std::vector<double> Around(double x, int count) {
  std::vector<double> v{x};
  double up = x, down = x;
  for (int i = 0; i < count; ++i) {
    v.push_back(up = std::nextafter(up, std::numeric_limits<double>::infinity()));
    v.push_back(down = std::nextafter(down, 0.0));
  }
  return v;
}

// Values where a rounding is decided, each with a few doubles either side:
// the decade edges; where the first candidate changes (halfway between steps
// in the logarithm); every member and the geometric mean of every pair of
// neighbours (k = -1 ... n + 1), where the second one wins. In decades with
// exact and with computed powers of ten: all five of them for the series of
// up to 24 steps and the standard long ones, two for the others.
std::vector<double> DecidingValues(std::int64_t n) {
  const bool all_decades = n <= 24 || n == 48 || n == 96 || n == 192;
  std::vector<double> decades{1.0, 1e7};
  if (all_decades) decades = {1e-4, 1e-3, 1.0, 1e6, 1e7};
  std::vector<double> points;
  for (const double decade : decades) {
    for (double x : Around(decade, 3)) points.push_back(x);
    for (std::int64_t k = -1; k <= n; ++k) {
      const double m = RuleSeriesValue(k, n), o = RuleSeriesValue(k + 1, n);
      const double step = std::pow(10.0, (static_cast<double>(k) + 0.5) / static_cast<double>(n));
      for (double x : Around(step * decade, 3)) points.push_back(x);
      for (double x : Around(std::sqrt(m * o) * decade, 2)) points.push_back(x);
      points.push_back(m * decade);
    }
  }
  return points;
}

TEST(SeriesRule, RoundToSeriesFollowsTheRuleAtEveryDecidingValue) {
  for (const std::int64_t n : SeriesNumbers()) {
    const auto steps = static_cast<std::int32_t>(n);
    for (const double x : DecidingValues(n)) {
      for (const double signed_x : {x, -x}) {
        const double want = RuleRoundToSeries(signed_x, n);
        ASSERT_TRUE(Same(RoundToSeries(signed_x, steps), want)) << std::hexfloat << signed_x << ", n = " << n;
        // A negative series number rounds like its magnitude.
        ASSERT_TRUE(Same(RoundToSeries(signed_x, -steps), want)) << std::hexfloat << signed_x << ", n = " << -n;
      }
    }
  }
}

}  // namespace
}  // namespace velmora::common
