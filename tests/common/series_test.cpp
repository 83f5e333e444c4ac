// Preferred-number series: member values, rounding to the nearest member,
// and the base-10 logarithm.
#include "fp_testing.h"
#include "common/series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace velmora::common {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kMaxN = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinN = std::numeric_limits<std::int32_t>::min();

using velmora::testing::FaultOf;
using velmora::testing::Same;

std::vector<double> Members(std::int64_t n) {
  std::vector<double> v;
  for (std::int64_t k = 0; k <= n; ++k) v.push_back(SeriesValue(k, n));
  return v;
}

// ---------------------------------------------------------------------------
// SeriesValue

TEST(SeriesValue, OneDecimalSeriesWithTheirCorrections) {
  struct List {
    std::int64_t n;
    std::vector<double> values;  // k = 0 .. n
  };
  const List lists[] = {
      {24, {1.0, 1.1, 1.2, 1.3, 1.5, 1.6, 1.8, 2.0, 2.2, 2.4, 2.7, 3.0, 3.3,
            3.6, 3.9, 4.3, 4.7, 5.1, 5.6, 6.2, 6.8, 7.5, 8.2, 9.1, 10.0}},
      {12, {1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 3.9, 4.7, 5.6, 6.8, 8.2, 10.0}},
      {6, {1.0, 1.5, 2.2, 3.3, 4.7, 6.8, 10.0}},
      {3, {1.0, 2.2, 4.7, 10.0}},
      // The windows are fractions of a decade: k = 4, 5, 6 get +0.1, k = 9 gets -0.1.
      {10, {1.0, 1.3, 1.6, 2.0, 2.6, 3.3, 4.1, 5.0, 6.3, 7.8, 10.0}},
  };
  for (const List& list : lists) {
    EXPECT_EQ(Members(list.n), list.values) << "n = " << list.n;
  }
}

TEST(SeriesValue, ThreeDigitSeriesAreTheRoundedFormulaWithTwoExceptions) {
  for (const std::int64_t n : {25, 48, 96, 192}) {
    const std::vector<double> members = Members(n);
    for (std::int64_t k = 0; k <= n; ++k) {
      double want = std::nearbyint(100 * std::pow(10.0, static_cast<double>(k) / static_cast<double>(n))) / 100;
      if (n == 192 && k == 127) want = 4.58;  // the formula gives 4.59
      if (n == 192 && k == 185) want = 9.2;   // the formula gives 9.19
      EXPECT_EQ(members[static_cast<std::size_t>(k)], want) << k << "/" << n;
    }
  }
  struct Value {
    std::int64_t k, n;
    double want;
  };
  const Value values[] = {
      {3, 25, 1.32},  {5, 25, 1.58},  {23, 25, 8.32}, {24, 25, 9.12},  // no one-decimal corrections
      {5, 48, 1.27},  {45, 48, 8.66}, {46, 48, 9.09}, {47, 48, 9.53},
      // 100 v = 169.4988..., the formula value nearest to a rounding half.
      {11, 48, 1.69}, {22, 96, 1.69}, {44, 192, 1.69},
      {48, 96, 3.16},
      {126, 192, 4.53}, {127, 192, 4.58}, {128, 192, 4.64},
      {184, 192, 9.09}, {185, 192, 9.2},  {186, 192, 9.31},
  };
  for (const Value& v : values) EXPECT_EQ(SeriesValue(v.k, v.n), v.want) << v.k << "/" << v.n;
}

TEST(SeriesValue, PastTheDecadeAndExtremeArguments) {
  struct Value {
    std::int64_t k, n;
    double want;
  };
  const Value values[] = {
      {-1, 24, 0.9},  {25, 24, 11.0},  {7, 6, 14.7}, {-1, 96, 0.98}, {97, 96, 10.24},
      {std::int64_t{kMaxN} + 1, kMaxN, 10.0},
      {-1, kMaxN, 1.0},
      {std::int64_t{kMaxN} / 2, kMaxN, 3.16},
      {-std::int64_t{kMinN}, -std::int64_t{kMinN}, 10.0},
  };
  for (const Value& v : values) EXPECT_EQ(SeriesValue(v.k, v.n), v.want) << v.k << "/" << v.n;
}

TEST(SeriesValue, Faults) {
  EXPECT_EQ(FaultOf([] { SeriesValue(3, 0); }), FpFault::DivideByZero);
  EXPECT_EQ(FaultOf([] { SeriesValue(0, 0); }), FpFault::Invalid);
  EXPECT_EQ(FaultOf([] { SeriesValue(1000, 1); }), FpFault::Overflow);
}

// ---------------------------------------------------------------------------
// Log10

TEST(Log10, OneRoundedLogarithmThenOneProduct) {
  struct Value {
    double x, want;
  };
  // Expected: the double nearest ln x, times 0.4342944819032518, rounded.
  const Value values[] = {
      {10.0, 1.0}, {100.0, 2.0}, {1000.0, 3.0}, {0.001, -3.0}, {1e-300, -300.0},
      {2.0, 0x1.34413509f79ffp-2}, {1.0, 0.0}, {kInf, kInf}, {kNaN, kNaN},
  };
  for (const Value& v : values) EXPECT_TRUE(Same(Log10(v.x), v.want)) << v.x;
  EXPECT_EQ(FaultOf([] { Log10(0.0); }), FpFault::DivideByZero);
  EXPECT_EQ(FaultOf([] { Log10(-0.0); }), FpFault::DivideByZero);
  EXPECT_EQ(FaultOf([] { Log10(-1.0); }), FpFault::Invalid);
}

// ---------------------------------------------------------------------------
// RoundToSeries

struct Rounding {
  double x;
  std::int32_t n;
  double want;
};

void ExpectRoundings(const std::vector<Rounding>& cases) {
  for (const Rounding& c : cases) {
    const double got = RoundToSeries(c.x, c.n);
    EXPECT_TRUE(Same(got, c.want)) << std::hexfloat << "RoundToSeries(" << c.x << ", " << c.n
                                   << ") = " << got << ", want " << c.want;
  }
}

TEST(RoundToSeries, ExamplesBitForBit) {
  ExpectRoundings({
      {4567, 24, 4700},
      {-4567, 24, -4700},
      {1234, 24, 1200},
      {2500, 24, 2400},
      {2550, 24, 2700},  // above the geometric mean of 2.4 and 2.7, 2.5456
      {9000, 6, 10000},
      {1200, 6, 1000},
      {1000, 24, 1000},
      {4585, 192, 4580},
      {169.5, 48, 169},
      {3300000, 12, 3300000},
      {919.3, 192, 919.9999999999999},  // 9.2 * 100, not the constant 920
      // 10^7 is e^(7 * 2.30258509299405) = 0x1.312d00000009cp+23, 10000000.00000029.
      {45670000, 24, 4.7 * 0x1.312d00000009cp+23},
      // log10 0.001 is exactly -3, so the decade is -4, through e^x again:
      // 10 * 0x1.a36e2eb1c42b0p-14 (= 9.999999999999831e-05).
      {0.001, 24, 10 * 0x1.a36e2eb1c42b0p-14},
      {0.0, 24, 0.0},
      {-0.0, 24, -0.0},
      {5, 0, 5},
      {123.456, 0, 123.456},
      {kNaN, 0, kNaN},
      {-kInf, 0, -kInf},
  });
}

// The two candidates are m = 3.3 (the rounded logarithm) and o = 2.2. At
// g = 2.694438717061496 the test quantity is exactly 0: m stays; one ulp
// lower, g lies beyond the mean and o wins.
TEST(RoundToSeries, ExactTieKeepsTheFirstCandidate) {
  ExpectRoundings({
      {2.694438717061496, 6, 3.3},
      {2.6944387170614954, 6, 2.2},
      {-2694.438717061496, 6, -3300},
  });
}

// The nearest member in ratio among all members of the decade, scaled as the
// rounding scales it; nullopt within 1e-12 of a tie or of a decade end,
// where the logarithm's last bit decides.
std::optional<double> NearestMember(double x, const std::vector<double>& members) {
  static constexpr std::array<double, 10> kPowers{0.001, 0.01,   0.1,     1.0,      10.0,
                                                  100.0, 1000.0, 10000.0, 100000.0, 1000000.0};
  const double s = x < 0 ? -1.0 : 1.0;
  const double a = std::fabs(x);
  std::size_t e = 0;
  while (e + 1 < kPowers.size() && kPowers[e + 1] <= a) ++e;
  const double g = a / kPowers[e];
  if (g < 1 + 1e-12 || g > 10 - 1e-11) return std::nullopt;
  std::size_t best = 0, second = 1;
  auto distance = [&](std::size_t k) { return std::max(g / members[k], members[k] / g); };
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (distance(k) < distance(best)) {
      second = best;
      best = k;
    } else if (k != best && distance(k) < distance(second)) {
      second = k;
    }
  }
  if (distance(second) - distance(best) < 1e-12) return std::nullopt;
  return (members[best] * s) * kPowers[e];
}

TEST(RoundToSeries, MatchesExhaustiveNearestMemberSearch) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> decade(-3, 6);
  for (const std::int32_t n : {3, 6, 12, 24, 48, 96, 192}) {
    const std::vector<double> members = Members(n);
    int compared = 0;
    for (int i = 0; i < 4000; ++i) {
      const double x = mantissa(rng) * std::pow(10.0, decade(rng)) * (i % 2 == 0 ? 1 : -1);
      const std::optional<double> want = NearestMember(x, members);
      if (!want) continue;
      ++compared;
      const double got = RoundToSeries(x, n);
      ASSERT_TRUE(Same(got, *want)) << std::hexfloat << "x = " << x << ", n = " << n << ": " << got
                                    << " vs " << *want;
    }
    EXPECT_GT(compared, 3900) << n;
  }
}

// The rounding with its two logarithms written out, as it is defined: the
// reference for the lookups that stand in for them.
double RoundByLogarithms(double x, std::int32_t n) {
  const std::int64_t steps = n < 0 ? -std::int64_t{n} : n;
  const double s = x < 0.0 ? -1.0 : 1.0, a = std::fabs(x);
  double L = Log10(a);
  if (L < 0.0) L = L - 1.0;
  const auto e = static_cast<std::int32_t>(L);
  constexpr std::array kPowers{0.001, 0.01, 0.1, 1.0, 10.0, 100.0, 1e3, 1e4, 1e5, 1e6};
  const double p = e >= -3 && e <= 6 ? kPowers[static_cast<std::size_t>(e + 3)]
                                     : CheckedExp(Checked(static_cast<double>(e)) * kStoredLn10).value();
  const double g = a / p;
  const std::int64_t l = RoundToInt64(static_cast<double>(steps) * Log10(g));
  const double m = SeriesValue(l, steps);
  const bool above = g > m;
  const double o = SeriesValue(above ? l + 1 : l - 1, steps), r = above ? 1.0 : -1.0;
  const double t = (((m / g) * o) / g - 1.0) * r;
  return t < 0.0 ? (o * s) * p : (m * s) * p;
}

// Up to 16 representable doubles either side of x.
std::vector<double> Around(double x) {
  std::vector<double> v{x};
  for (double up = x, down = x; v.size() < 33;) {
    v.push_back(up = std::nextafter(up, kInf));
    v.push_back(down = std::nextafter(down, 0.0));
  }
  return v;
}

TEST(RoundToSeries, LookupsMatchTheLogarithmsAtEveryStep) {
  // Where the step of the mantissa changes (halfway between members in the
  // logarithm) and where the decade changes, in every decade of the tables
  // and just beyond them; series past the tabled 192 steps take the logarithms.
  std::vector<double> points;
  for (int d = -4; d <= 7; ++d) {
    const std::vector<double> edge = Around(std::pow(10.0, d));
    points.insert(points.end(), edge.begin(), edge.end());
  }
  for (const std::int32_t n : {3, 6, 12, 24, 48, 96, 192, 7, -24, 193}) {
    std::vector<double> tested = points;
    const double steps = std::fabs(static_cast<double>(n));
    for (int d = -3; d <= 6; d += 3) {
      for (double j = 0; j <= steps; ++j) {
        const std::vector<double> near = Around(std::pow(10.0, (j + 0.5) / steps + d));
        tested.insert(tested.end(), near.begin(), near.end());
      }
    }
    for (const double x : tested) {
      for (const double signed_x : {x, -x}) {
        ASSERT_TRUE(Same(RoundToSeries(signed_x, n), RoundByLogarithms(signed_x, n)))
            << std::hexfloat << "x = " << signed_x << ", n = " << n;
      }
    }
  }
}

TEST(RoundToSeriesRegression, NegativeSeriesNumberRoundsLikeItsMagnitude) {
  // Taken literally, series -24 would give 5100 here: the far neighbour.
  EXPECT_EQ(RoundToSeries(4567, -24), 4700);
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> exponent(-5.0, 9.0);
  for (const std::int32_t n : {1, 3, 6, 10, 12, 24, 25, 48, 96, 192}) {
    for (int i = 0; i < 500; ++i) {
      const double x = std::pow(10.0, exponent(rng));
      ASSERT_TRUE(Same(RoundToSeries(x, -n), RoundToSeries(x, n))) << x << " " << n;
      ASSERT_TRUE(Same(RoundToSeries(-x, -n), -RoundToSeries(x, n))) << x << " " << n;
    }
  }
}

// Every integer series number is defined; the sanitizer build checks that no
// step overflows an integer.
TEST(RoundToSeries, ExtremeSeriesNumbers) {
  ExpectRoundings({
      {4567, kMaxN, 4570},  // all three-digit values are members
      {4567, kMinN, 4570},
      {-4567, kMinN + 1, -4570},
      {4567, 1, 10000},  // 1 and 10: the mean is 3.16
      {3100, 1, 1000},
      {3200, -1, 10000},
  });
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> exponent(-3.0, 7.0);
  for (int i = 0; i < 300; ++i) {
    const double x = std::pow(10.0, exponent(rng));
    for (const std::int32_t n : {kMaxN, kMinN}) {
      const double ratio = RoundToSeries(x, n) / x;
      EXPECT_NEAR(ratio, 1.0, 0.006) << x << " " << n;  // three digits: within half a step
    }
  }
}

TEST(RoundToSeries, FaultsAtTheirStep) {
  struct FaultCase {
    double x;
    std::int32_t n;
    FpFault fault;
  };
  const FaultCase cases[] = {
      {kNaN, 24, FpFault::Invalid},       // sign test compares a NaN
      {kInf, 24, FpFault::Invalid},       // an infinite decade has no integer
      {-kInf, -24, FpFault::Invalid},
      {std::numeric_limits<double>::max(), 24, FpFault::Overflow},  // 1.8e308
      {1.7e308, 24, FpFault::Overflow},
      // The smallest subnormals: 10^-324 underflows to 0 and a / 0 divides by zero.
      {std::numeric_limits<double>::denorm_min(), 24, FpFault::DivideByZero},
      {-2 * std::numeric_limits<double>::denorm_min(), 6, FpFault::DivideByZero},
  };
  for (const FaultCase& c : cases) {
    EXPECT_EQ(FaultOf([&] { RoundToSeries(c.x, c.n); }), c.fault) << c.x << " " << c.n;
  }
}

// Larger subnormals still round, through an inexact subnormal power of ten.
TEST(RoundToSeries, SubnormalValues) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  // 10^-323 becomes 2 * 2^-1074, and g = 2 is a member of E24.
  EXPECT_TRUE(Same(RoundToSeries(4 * tiny, 24), 4 * tiny));
  struct Near {
    double x, member;
  };
  const Near cases[] = {{4.6e-310, 4.7e-310}, {2.25e-312, 2.2e-312}, {1.5e-315, 1.5e-315}};
  for (const Near& c : cases) EXPECT_NEAR(RoundToSeries(c.x, 24) / c.member, 1.0, 1e-6) << c.x;
}

}  // namespace
}  // namespace velmora::common
