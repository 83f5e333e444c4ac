// Correctly rounded exp and ln, their checked wrappers, and the checked
// integer conversions.
#include "fp_testing.h"
#include "common/crmath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <optional>
#include <random>
#include <type_traits>
#include <utility>

#include "common/checked.h"

#if defined(__GNUC__) && !defined(__clang__) && __has_include(<quadmath.h>)
#define VELMORA_HAVE_QUADMATH 1
#include <quadmath.h>
#endif

namespace velmora::common {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMin = std::numeric_limits<double>::denorm_min();
constexpr double kMax = std::numeric_limits<double>::max();

using velmora::testing::FaultOf;
using velmora::testing::Same;

struct Case {
  double x;
  double want;
};

TEST(CrExp, SpecialsAndRangeEnds) {
  const Case cases[] = {
      {kNaN, kNaN},
      {kInf, kInf},
      {-kInf, 0.0},
      {0.0, 1.0},
      {-0.0, 1.0},
      {kMin, 1.0},
      {-kMin, 1.0},
      {1.0, 0x1.5bf0a8b145769p+1},   // e
      {-1.0, 0x1.78b56362cef38p-2},  // 1/e
      {0x1.62e42fefa39efp-1, 2.0},   // e^(ln 2 - 2.3e-17)
      {0x1.62e42fefa39efp+9, 0x1.fffffffffff2ap+1023},  // largest finite result
      {0x1.62e42fefa39f0p+9, kInf},  // next double: above DBL_MAX + half an ulp
      {0x1.62e42ff0a5674p+9, kInf},  // 2^1024 (1 + (k + 1/2) 2^-52 + 2^-75): the exact path overflows too
      {709.79, kInf},
      {kMax, kInf},
      {-0x1.74910d52d3051p+9, kMin},  // e^x = 2^-1075 (1 + 1e-13): rounds up
      {-0x1.74910d52d3052p+9, 0.0},   // e^x = 2^-1075 (1 - 1.4e-14): rounds down
      {-0x1.681d24c3bdac6p+9, 0x0.00007a07a9f13p-1022},  // |x| a 2^-67.7 part under k ln2/2^16: r cancels all but the low limbs
      {-745.2, 0.0},
      {-kMax, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Same(CrExp(c.x), c.want)) << std::hexfloat << c.x << " -> " << CrExp(c.x);
  }
}

// Results within 2^-107 of a midpoint between doubles: the fast evaluation
// cannot decide them, the precise one must.
TEST(CrExp, NearMidpointsAroundOne) {
  const Case cases[] = {
      {0x1p-53, 0x1.0000000000001p+0},               // 1 + 2^-53 + 2^-107
      {0x1.fffffffffffffp-54, 1.0},                  // 1 + 2^-53 - 2^-107
      {-0x1p-54, 1.0},                               // 1 - 2^-54 + 2^-109
      {-0x1.0000000000001p-54, 0x1.fffffffffffffp-1},  // 1 - 2^-54 - 2^-106 + ...
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Same(CrExp(c.x), c.want)) << std::hexfloat << c.x << " -> " << CrExp(c.x);
  }
}

// Arguments whose results lie within 2^-74 of a midpoint (most found by a
// search, all rounded with 500-bit arithmetic): the fast evaluation, good to about 2^-70,
// could land on either side, so these need the rounding test and the precise
// path to work.
TEST(CrExpLn, NearMidpointsFromASearch) {
  const Case exp_cases[] = {
      {-0x1.235f502bffbf4p+4, 0x1.a7d9cde9e7576p-27}, {0x1.7ab8851fc3f48p+3, 0x1.0d8910f1a69cap+17},
      {0x1.11279cb78efcep+4, 0x1.8c28bec7c62fap+24},  {-0x1.6d991f3120be4p+3, 0x1.6e678c8d43de2p-17},
      {0x1.e27666472ac6cp+3, 0x1.aef874dec0070p+21},  {-0x1.904f1c837ae9ap+4, 0x1.df4a9b12f6210p-37},
      {-0x1.91a6d680e20d4p+4, 0x1.b8b63a7cb77a8p-37}, {-0x1.774b8968afc6p+0, 0x1.d8c6c4db1e6f5p-3},
  };
  const Case ln_cases[] = {
      {0x1.a89a1740b36fcp-2, -0x1.c2b944e1503d9p-1}, {0x1.7b3e47b240d6dp-2, -0x1.fc9104b753d99p-1},
      {0x1.49d0cbbec2486p+1, 0x1.e49c1a704ad07p-1},  {0x1.38a339c2c41dbp-1, -0x1.f91e5fe62220ep-2},
      // 1 +- t, t = 2^-42 + 2^-47: t^2/2 is an odd multiple of half an ulp of
      // t, so ln = +-(t -+ t^2/2) lies on a midpoint but for t^3/3, 2^-85.5.
      {0x1.0000000000420p+0, 0x1.07ffffffffde0p-42},  {0x1.ffffffffff7c0p-1, -0x1.0800000000221p-42},
      // The precise path starts from the nearest double to ln x, up to half an
      // ulp away: the first term of its series matters here.
      {0x1.395fa8aab4312p-1, -0x1.f6b5e9ed24911p-2}, {0x1.ff48c3b9e3659p-1, -0x1.6eba2f7ff20c8p-10},
  };
  for (const Case& c : exp_cases) EXPECT_TRUE(Same(CrExp(c.x), c.want)) << std::hexfloat << c.x;
  for (const Case& c : ln_cases) EXPECT_TRUE(Same(CrLn(c.x), c.want)) << std::hexfloat << c.x;
}

// Deep in the subnormal range e^(k ln2) is 2^k: the argument's rounding
// error is far below half of 2^-1074 there.
TEST(CrExp, PowersOfTwoInTheSubnormalRange) {
  for (int k = -1074; k <= -1033; ++k) {
    const double x = k * 0x1.62e42fefa39efp-1;
    EXPECT_TRUE(Same(CrExp(x), std::ldexp(1.0, k))) << k;
  }
}

TEST(CrLn, SpecialsAndRangeEnds) {
  const Case cases[] = {
      {kNaN, kNaN},
      {-1.0, kNaN},
      {-kInf, kNaN},
      {-kMin, kNaN},
      {0.0, -kInf},
      {-0.0, -kInf},
      {kInf, kInf},
      {1.0, 0.0},
      {2.0, 0x1.62e42fefa39efp-1},
      {0.5, -0x1.62e42fefa39efp-1},
      {1.1, 0x1.8663f793c46ccp-4},
      {10.0, 0x1.26bb1bbb55516p+1},
      {kMin, -0x1.74385446d71c3p+9},  // -1074 ln 2
      {kMax, 0x1.62e42fefa39efp+9},
      {0x1.0000000000001p+0, 0x1.fffffffffffffp-53},  // 2^-52 - 2^-105 + ...
      {0x1.fffffffffffffp-1, -0x1p-53},               // -2^-53 - 2^-107 - ...
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Same(CrLn(c.x), c.want)) << std::hexfloat << c.x << " -> " << CrLn(c.x);
  }
}

#if VELMORA_HAVE_QUADMATH

// Comparison with libquadmath (113-bit, within about one of its units). A
// reference within 2^-110 of a midpoint between doubles cannot tell the
// rounding and is counted apart.
struct Tally {
  long checked = 0;
  long ambiguous = 0;
  long mismatches = 0;
};

bool NearMidpoint(__float128 ref) {
  const double d = static_cast<double>(ref);
  if (!std::isfinite(d)) return false;
  const __float128 tol = fabsq(ref) * ldexpq(1, -110);
  for (const double n : {std::nextafter(d, kInf), std::nextafter(d, -kInf)}) {
    const __float128 mid = (static_cast<__float128>(d) + static_cast<__float128>(n)) / 2;
    if (fabsq(ref - mid) < tol) return true;
  }
  return false;
}

template <class Gen>
Tally Compare(bool ln, long count, Gen gen, std::mt19937_64& rng) {
  Tally t;
  for (long i = 0; i < count; ++i) {
    const double x = gen(rng);
    const __float128 ref = ln ? logq(static_cast<__float128>(x)) : expq(static_cast<__float128>(x));
    if (NearMidpoint(ref)) {
      ++t.ambiguous;
      continue;
    }
    ++t.checked;
    const double got = ln ? CrLn(x) : CrExp(x);
    if (!Same(got, static_cast<double>(ref))) {
      if (++t.mismatches <= 5) {
        ADD_FAILURE() << (ln ? "ln " : "exp ") << std::hexfloat << x << " gave " << got
                      << ", nearest is " << static_cast<double>(ref);
      }
    }
  }
  return t;
}

std::uniform_real_distribution<double> Uniform(double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi);
}

// Magnitudes spread evenly over binades 2^lo .. 2^hi, random sign.
auto LogUniform(int lo, int hi, bool signed_values) {
  return [=](std::mt19937_64& rng) {
    const double e = std::uniform_real_distribution<double>(lo, hi)(rng);
    const double v = std::exp2(e);
    return signed_values && (rng() & 1) ? -v : v;
  };
}

// Every positive finite double with equal chance per bit pattern.
double AnyPositive(std::mt19937_64& rng) {
  for (;;) {
    const double v = std::bit_cast<double>(rng() >> 1);
    if (std::isfinite(v) && v > 0) return v;
  }
}

double AnySubnormal(std::mt19937_64& rng) {
  return std::bit_cast<double>((rng() % ((std::uint64_t{1} << 52) - 1)) + 1);
}

// `per_range` arguments in each of the ranges; returns the totals.
Tally CompareAll(long per_range, bool print) {
  std::mt19937_64 rng(20240611);
  Tally total;
  auto add = [&](const char* name, const Tally& t) {
    if (print) {
      std::printf("%-28s checked %8ld  ambiguous %3ld  mismatches %ld\n", name, t.checked, t.ambiguous,
                  t.mismatches);
    }
    total.checked += t.checked;
    total.ambiguous += t.ambiguous;
    total.mismatches += t.mismatches;
  };
  add("exp [-1, 1]", Compare(false, per_range, Uniform(-1, 1), rng));
  add("exp around 0 (2^-60..2^-10)", Compare(false, per_range, LogUniform(-60, -10, true), rng));
  add("exp [1, 10]", Compare(false, per_range, Uniform(1, 10), rng));
  add("exp [-745, 710]", Compare(false, per_range, Uniform(-745.2, 709.8), rng));
  add("exp subnormal results", Compare(false, per_range / 4, Uniform(-745.2, -708.4), rng));
  add("ln any positive double", Compare(true, per_range, AnyPositive, rng));
  add("ln [0.5, 2]", Compare(true, per_range, Uniform(0.5, 2), rng));
  add("ln 1 +- 2^-60..2^-8", Compare(true, per_range, [](std::mt19937_64& r) { return 1 + LogUniform(-60, -8, true)(r); }, rng));
  add("ln [1, 10]", Compare(true, per_range, Uniform(1, 10), rng));
  add("ln subnormal", Compare(true, per_range / 4, AnySubnormal, rng));
  return total;
}

TEST(CrMathReference, RandomArgumentsMatchQuadPrecision) {
  const Tally t = CompareAll(25000, false);
  EXPECT_EQ(t.mismatches, 0);
  EXPECT_LT(t.ambiguous, 5);
}

// The same over two million arguments, with a table of counts (about 2 s):
// a slip in a polynomial coefficient or an error bound of the fast paths
// shows only where a result lies that close to a rounding boundary, about
// once in a million arguments.
TEST(CrMathReference, MillionsOfRandomArguments) {
  const Tally t = CompareAll(250000, true);
  std::printf("total: checked %ld, ambiguous %ld, mismatches %ld\n", t.checked, t.ambiguous, t.mismatches);
  EXPECT_EQ(t.mismatches, 0);
}

#endif  // VELMORA_HAVE_QUADMATH

// ---------------------------------------------------------------------------
// Checked wrappers

// A converter's result, or the fault it throws.
template <class T, class F>
void ExpectResults(F convert, std::initializer_list<std::pair<double, std::optional<T>>> cases,
                   std::optional<FpFault> fault_for_nullopt = FpFault::Invalid) {
  for (const auto& c : cases) {
    const double x = c.first;
    const std::optional<T>& want = c.second;
    T got{};
    const std::optional<FpFault> fault = FaultOf([&] { got = convert(x); });
    EXPECT_EQ(fault, want ? std::nullopt : fault_for_nullopt) << x;
    if (!want) continue;
    if constexpr (std::is_floating_point_v<T>) {
      EXPECT_TRUE(Same(got, *want)) << x << " -> " << got;
    } else {
      EXPECT_EQ(got, *want) << x;
    }
  }
}

TEST(CheckedExpLn, FaultsAndSilentSpecials) {
  auto exp = [](double x) { return CheckedExp(x).value(); };
  auto ln = [](double x) { return CheckedLn(x).value(); };
  ExpectResults<double>(exp, {{710.0, {}}, {kMax, {}}}, FpFault::Overflow);
  // Underflow and the infinities are not faults.
  ExpectResults<double>(exp, {{kInf, kInf}, {-kInf, 0.0}, {-800.0, 0.0}, {kNaN, kNaN}, {1.0, 0x1.5bf0a8b145769p+1}});
  ExpectResults<double>(ln, {{0.0, {}}, {-0.0, {}}}, FpFault::DivideByZero);
  ExpectResults<double>(ln, {{-1.0, {}}, {-kInf, {}}, {kInf, kInf}, {kNaN, kNaN}, {kMin, -0x1.74385446d71c3p+9}});
}

TEST(CheckedArithmetic, EachOperationFaultsOnItsOwnConditions) {
  const struct {
    const char* what;
    double (*run)();
    std::optional<FpFault> fault;
  } cases[] = {
      {"inf - inf",      [] { return (Checked(kInf) - kInf).value(); },            FpFault::Invalid},
      {"max + max",      [] { return (Checked(kMax) + kMax).value(); },            FpFault::Overflow},
      {"inf + 1",        [] { return (Checked(kInf) + 1.0).value(); },             std::nullopt},
      {"0 * inf",        [] { return (Checked(0.0) * kInf).value(); },             FpFault::Invalid},
      {"max * 2",        [] { return (Checked(kMax) * 2.0).value(); },             FpFault::Overflow},
      {"1 / 0",          [] { return (Checked(1.0) / 0.0).value(); },              FpFault::DivideByZero},
      {"0 / 0",          [] { return (Checked(0.0) / 0.0).value(); },              FpFault::Invalid},
      {"inf / 0",        [] { return (Checked(kInf) / 0.0).value(); },             std::nullopt},
      {"inf / inf",      [] { return (Checked(kInf) / kInf).value(); },            FpFault::Invalid},
      {"max / 0.5",      [] { return (Checked(kMax) / 0.5).value(); },             FpFault::Overflow},
      {"inf / 2",        [] { return (Checked(kInf) / 2.0).value(); },             std::nullopt},
      {"nan / 0",        [] { return (Checked(kNaN) / 0.0).value(); },             std::nullopt},
      {"nan < 1",        [] { return static_cast<double>(Checked(kNaN) < 1.0); }, FpFault::Invalid},
      {"1 > nan",        [] { return static_cast<double>(Checked(1.0) > kNaN); }, FpFault::Invalid},
      {"nan <= 1",       [] { return static_cast<double>(Checked(kNaN) <= 1.0); }, FpFault::Invalid},
      {"nan >= 1",       [] { return static_cast<double>(Checked(kNaN) >= 1.0); }, FpFault::Invalid},
      {"nan == nan",     [] { return static_cast<double>(Checked(kNaN) == kNaN); }, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FaultOf(c.run), c.fault) << c.what;
}

TEST(CheckedArithmetic, ErrorBoxTextEndsWithAFullStop) {
  const struct { std::u16string_view message, text; } cases[] = {
      {u"Floating point overflow", u"Floating point overflow."}, {u"ends/", u"ends/."},
      {u"done.", u"done."}, {u"dash-", u"dash-"}, {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.text);
}

TEST(CheckedIntegers, RoundingHalvesToEvenTruncationCutsTowardZero) {
  const std::int32_t min32 = std::numeric_limits<std::int32_t>::min();
  ExpectResults<std::int32_t>(RoundToInt32, {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {0.49999999999999994, 0},
      {2147483647.4, 2147483647}, {2147483647.5, {}}, {-2147483648.5, min32}, {-2147483648.6, {}},
      {kNaN, {}}, {kInf, {}}, {-kInf, {}},
  });
  ExpectResults<std::int64_t>(RoundToInt64, {
      {2.5, 2}, {-3.5, -4}, {4503599627370497.0, 4503599627370497},
      {0x1.fffffffffffffp+62, 9223372036854774784}, {0x1p63, {}},
      {-0x1p63, std::numeric_limits<std::int64_t>::min()}, {-0x1.0000000000001p63, {}}, {kNaN, {}},
  });
  ExpectResults<std::int32_t>(TruncToInt32, {
      {2.9, 2}, {-2.9, -2}, {-0.9, 0}, {2147483647.9, 2147483647}, {2147483648.0, {}},
      {-2147483648.9, min32}, {-2147483649.0, {}}, {kNaN, {}}, {-kInf, {}},
  });
}

}  // namespace
}  // namespace velmora::common
