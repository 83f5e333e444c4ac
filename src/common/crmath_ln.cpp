// Correctly rounded ln.
//
// The result is first evaluated as an unevaluated sum of two doubles with a
// proven error bound (a table of reciprocals, exact products by Dekker's
// splitting, a short polynomial). When the rounding of that sum cannot be
// upset by the error, it is the answer. Otherwise (about once in 2^12 calls)
// a 256-bit binary floating-point evaluation decides; its error, below
// 2^-180 relative, is far under the distance between any result and a
// rounding boundary.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/crmath.h"
#include "common/crmath_internal.h"

namespace velmora::common {

using namespace crmath;

namespace {

// ln x = y0 + ln(x e^-y0) = y0 + ln(1 + d), |d| < 2^-42 for the fast estimate
// y0; the series to d^5 leaves less than 2^-250.
double SlowLn(double x, double y0, const Tables& t) {
  const BigTables& b = t.big;
  const Big y = FromDouble(y0);
  const Big d = Sub(Mul(FromDouble(x), ExpBig(Negate(y), b)), kOne);
  Big h = b.log_coeff[kLogDegree];
  for (u32 n = kLogDegree - 1; n >= 1; --n) h = Add(b.log_coeff[n], Mul(d, h));
  return ToDouble(Add(y, Mul(d, h)));
}

}  // namespace

double CrLn(double x) noexcept {
  u64 bits = std::bit_cast<u64>(x);
  if (bits >= 0x7ff0000000000000u) {  // +inf, NaN, or sign bit set
    if (std::isnan(x)) return x + x;
    if (x > 0.0) return x;
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (bits == 0) return -std::numeric_limits<double>::infinity();
  if (x == 1.0) return 0.0;
  int scale = 0;
  if (bits < (u64{1} << 52)) {  // subnormal
    bits = std::bit_cast<u64>(x * 0x1p54);
    scale = -54;
  }
  const Tables& t = GetTables();

  // x = 2^e m', m' in [1 - 2^-10, 2 - 2^-9), m' within 2^-9 of 1 + i/256.
  const u64 rounded = bits + (u64{1} << 43);
  const int e = static_cast<int>(rounded >> 52) - 1023;
  const unsigned i = static_cast<unsigned>(rounded >> 44) & 255u;
  const double mp = std::bit_cast<double>(bits - (static_cast<u64>(static_cast<std::int64_t>(e)) << 52));
  const LogEntry& c = t.log[i];
  const int K = 256 * (e + scale) + c.j;  // ln x = K ln2/256 + ln(1 + z)

  // z = m' c - 1 within 2^-104, |z| < 2^-8.2; exact when K == 0 (c == 1).
  const DD pc = TwoProd(mp, c.ch);
  const DD z = TwoSum(pc.hi - 1.0, pc.lo + mp * c.cl);

  // ln(1 + z) = z - z^2/2 + z^3 Q(z): u = zh - zh^2/2 exactly, the rest in
  // `low`. The rounding of z^3 Q (below 2^-76.6) dominates the error. The
  // result is at least 2^-10 in size unless K == 0, and then it is about z
  // with an error near 2^-70 z; either way the error stays below 2^-68 of the
  // result, and the test allows 2^-66.
  const double zh = z.hi;
  const DD zz = TwoProd(zh, zh);
  const DD u = FastTwoSum(zh, -0.5 * zz.hi);
  const double q =
      zh * zz.hi *
      (1.0 / 3 + zh * (-1.0 / 4 + zh * (1.0 / 5 + zh * (-1.0 / 6 + zh * (1.0 / 7 + zh * (-1.0 / 8 + zh * (1.0 / 9)))))));
  const double low = q + (u.lo + (z.lo - (0.5 * zz.lo + zh * z.lo)));

  // K ln2/256: kd * l1 and kd * l2 are exact (|K| < 2^19).
  const double kd = K;
  const DD sum = TwoSum(kd * t.l1, u.hi);
  const DD res = FastTwoSum(sum.hi, sum.lo + (kd * t.l2 + (kd * t.l3 + low)));

  const double tol = std::fabs(res.hi) * 0x1p-66;
  const double up = res.hi + (res.lo + tol);
  const double down = res.hi + (res.lo - tol);
  if (up == down) return up;
  return SlowLn(x, res.hi + res.lo, t);
}

}  // namespace velmora::common
