// Correctly rounded exp.
//
// The result is first evaluated as an unevaluated sum of two doubles with a
// proven error bound (table-driven argument reduction, exact products by
// Dekker's splitting, a short polynomial). When the rounding of that sum
// cannot be upset by the error, it is the answer. Otherwise (about once in
// 2^16 calls, and for every subnormal result) a 256-bit binary
// floating-point evaluation decides; its error, below 2^-180 relative, is
// far under the distance between any result and a rounding boundary.
#include <cmath>
#include <limits>

#include "common/crmath.h"
#include "common/crmath_internal.h"

namespace velmora::common {

using namespace crmath;

namespace {

double SlowExp(double x, const Tables& t) { return ToDouble(ExpBig(FromDouble(x), t.big)); }

// y * 2^m for -1021 <= m <= 1024 and y in [0.99, 2]; rounds to inf on overflow.
double Scale(double y, int m) {
  if (m > 1023) return y * 0x1p1023 * 2.0;
  return y * Pow2(m);
}

}  // namespace

double CrExp(double x) noexcept {
  if (std::isnan(x)) return x + x;
  if (x > 709.79) return std::numeric_limits<double>::infinity();  // e^709.79 > DBL_MAX
  if (x < -745.2) return 0.0;                                      // e^-745.2 < 2^-1075
  if (std::fabs(x) < 0x1p-54) return 1.0;  // 1 + x lies within a quarter unit of 1
  const Tables& t = GetTables();

  // x = k ln2/256 + r, |r| <= ln2/512 (1 + 2^-30); k = 256 m + j.
  const double kd = NearestIntegral(x * t.n_over_ln2);
  const int k = static_cast<int>(kd);  // |k| < 2^19
  const int m = k >> 8;
  if (m <= -1022) return SlowExp(x, t);  // subnormal or nearly so
  const DD& T = t.exp2[static_cast<unsigned>(k & 255)];
  // kd * l1 and kd * l2 are exact, and so is x - kd * l1: both are multiples
  // of min(ulp(x), 2^-42), ulp(x) >= 2^-62 when k != 0, and the difference is
  // below 2^-9.5.
  const double a = x - kd * t.l1;
  DD r = TwoSum(a, -(kd * t.l2));
  r = TwoSum(r.hi, r.lo - kd * t.l3);  // |error| < 2^-105
  const double rh = r.hi, rl = r.lo;

  // e^r - 1 = p.hi + p.lo with |error| < 2^-71.9: the rounding of rh^2/2 (2^-73),
  // the three additions of `small` (2^-73 together), the truncation after
  // r^6 (2^-78.9) and the rest below 2^-80.
  const double r2 = rh * rh;
  const double q =
      rh * r2 * (1.0 / 6 + rh * (1.0 / 24 + rh * (1.0 / 120 + rh * (1.0 / 720))));
  const double small = rl + (0.5 * r2 + (rh * rl + q));
  const DD p = FastTwoSum(rh, small);

  // T (1 + p): T = T.hi + T.lo within 2^-106 T. Total error below 2^-70.8.
  const DD tp = TwoProd(T.hi, p.hi);
  const DD s = FastTwoSum(T.hi, tp.hi);
  const double lo = s.lo + (tp.lo + (T.lo + (T.hi * p.lo + T.lo * p.hi)));

  // s.hi lies in [0.99, 2]: if both ends of s.hi + lo +- 2^-69 round alike,
  // so does the exact value.
  const double up = s.hi + (lo + 0x1p-69);
  const double down = s.hi + (lo - 0x1p-69);
  if (up == down) return Scale(up, m);
  return SlowExp(x, t);
}

}  // namespace velmora::common
