// Correctly rounded exp and ln.
//
// Each function first evaluates its result as an unevaluated sum of two
// doubles with a proven error bound (table-driven argument reduction, exact
// products by Dekker's splitting, short polynomials). When the rounding of
// that sum cannot be upset by the error, it is the answer. Otherwise (about
// once in 2^16 calls for exp, 2^12 for ln, and for every subnormal result of
// exp) a 256-bit binary floating-point evaluation decides; its error, below
// 2^-180 relative, is far under the distance between any of these results
// and a rounding boundary. The tables are built on first use by the same
// 256-bit code; apart from polynomial coefficients and range limits no
// constant is written down.
//
// The code relies on IEEE double arithmetic rounded to nearest with no fused
// multiply-add contraction (-ffp-contract=off) and no excess precision, as on
// every SSE2 target.
#include "common/crmath.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace velmora::common {
namespace {

using u64 = std::uint64_t;
using u32 = std::uint32_t;

// ---------------------------------------------------------------------------
// Exact double arithmetic.

struct DD {
  double hi;
  double lo;
};

// a + b == s + e exactly.
DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b == s + e exactly, provided |a| >= |b| (or a == 0).
DD FastTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a == hi + lo with hi and lo of at most 26 significant bits.
DD Split(double a) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  const double hi = c - (c - a);
  return {hi, a - hi};
}

// a * b == p + e exactly (no overflow or underflow in the range used here).
DD TwoProd(double a, double b) {
  const double p = a * b;
  const DD as = Split(a);
  const DD bs = Split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

// Nearest integer, halves to even, for |v| < 2^51.
double NearestIntegral(double v) { return (v + 0x1.8p52) - 0x1.8p52; }

// 2^e for -1022 <= e <= 1023.
double Pow2(int e) { return std::bit_cast<double>(static_cast<u64>(e + 1023) << 52); }

// ---------------------------------------------------------------------------
// 256-bit binary floating point for the rare hard cases and for the tables.
// A value is (-1)^neg * M * 2^(e - 256) with M the 256-bit integer in m (most
// significant limb first), normalized so that M >= 2^255, or M == 0 for zero.
// Every operation truncates toward zero: relative error below 2^-255.

using Limbs = std::array<u64, 4>;

struct Big {
  Limbs m{};
  int e = 0;
  bool neg = false;
  constexpr bool IsZero() const { return m[0] == 0; }
};

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;
#endif

// High and low halves of a * b.
void Mul64(u64 a, u64 b, u64& hi, u64& lo) {
#if defined(__SIZEOF_INT128__)
  const u128 p = static_cast<u128>(a) * b;
  hi = static_cast<u64>(p >> 64);
  lo = static_cast<u64>(p);
#else
  const u64 mask = 0xffffffffu;
  const u64 a0 = a & mask, a1 = a >> 32, b0 = b & mask, b1 = b >> 32;
  const u64 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const u64 mid = (p00 >> 32) + (p01 & mask) + (p10 & mask);
  lo = (mid << 32) | (p00 & mask);
  hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
#endif
}

Limbs ShiftRight(const Limbs& a, int s) {
  Limbs r{};
  if (s >= 256) return r;
  const int q = s / 64, b = s % 64;
  for (int i = 3; i >= q; --i) {
    u64 v = a[static_cast<unsigned>(i - q)] >> b;
    if (b != 0 && i - q - 1 >= 0) v |= a[static_cast<unsigned>(i - q - 1)] << (64 - b);
    r[static_cast<unsigned>(i)] = v;
  }
  return r;
}

Limbs ShiftLeft(const Limbs& a, int s) {
  Limbs r{};
  if (s >= 256) return r;
  const int q = s / 64, b = s % 64;
  for (int i = 0; i + q <= 3; ++i) {
    u64 v = a[static_cast<unsigned>(i + q)] << b;
    if (b != 0 && i + q + 1 <= 3) v |= a[static_cast<unsigned>(i + q + 1)] >> (64 - b);
    r[static_cast<unsigned>(i)] = v;
  }
  return r;
}

int LeadingZeros(const Limbs& a) {
  for (unsigned i = 0; i < 4; ++i) {
    if (a[i] != 0) return static_cast<int>(i) * 64 + std::countl_zero(a[i]);
  }
  return 256;
}

// Normalizes b.m (shifting left) and adjusts b.e; zero stays zero.
void Normalize(Big& b) {
  const int z = LeadingZeros(b.m);
  if (z == 256) {
    b = Big{};
    return;
  }
  b.m = ShiftLeft(b.m, z);
  b.e -= z;
}

// Compares |a| with |b|.
int CompareMagnitude(const Big& a, const Big& b) {
  if (a.IsZero() || b.IsZero()) return (a.IsZero() ? 0 : 1) - (b.IsZero() ? 0 : 1);
  if (a.e != b.e) return a.e < b.e ? -1 : 1;
  for (unsigned i = 0; i < 4; ++i) {
    if (a.m[i] != b.m[i]) return a.m[i] < b.m[i] ? -1 : 1;
  }
  return 0;
}

Big Add(const Big& x, const Big& y) {
  const bool swap = CompareMagnitude(x, y) < 0;
  const Big& a = swap ? y : x;
  const Big& b = swap ? x : y;
  if (b.IsZero()) return a;
  const Limbs bs = ShiftRight(b.m, a.e - b.e);
  Big r = a;
  if (a.neg == b.neg) {
    u64 carry = 0;
    for (unsigned i = 4; i-- > 0;) {
      const u64 s = r.m[i] + bs[i];
      const u64 c1 = s < bs[i] ? 1 : 0;
      r.m[i] = s + carry;
      carry = c1 | (r.m[i] < s ? 1 : 0);
    }
    if (carry != 0) {
      r.m = ShiftRight(r.m, 1);
      r.m[0] |= u64{1} << 63;
      ++r.e;
    }
  } else {
    u64 borrow = 0;
    for (unsigned i = 4; i-- > 0;) {
      const u64 d = r.m[i] - bs[i];
      const u64 b1 = r.m[i] < bs[i] ? 1 : 0;
      r.m[i] = d - borrow;
      borrow = b1 | (d < borrow ? 1 : 0);
    }
    Normalize(r);
  }
  return r;
}

Big Negate(Big a) {
  if (!a.IsZero()) a.neg = !a.neg;
  return a;
}

Big Sub(const Big& a, const Big& b) { return Add(a, Negate(b)); }

Big Mul(const Big& a, const Big& b) {
  if (a.IsZero() || b.IsZero()) return Big{};
  // Partial products below limb 2 are left out: they change the top four
  // limbs of the 512-bit product by less than 2^195, relative 2^-315.
  std::array<u64, 8> p{};  // least significant limb first
  for (unsigned i = 0; i < 4; ++i) {
    u64 carry = 0;
    for (unsigned j = i < 2 ? 2 - i : 0; j < 4; ++j) {
      u64 hi, lo;
      Mul64(a.m[3 - i], b.m[3 - j], hi, lo);
      u64 t = p[i + j] + lo;
      hi += t < lo ? 1 : 0;
      const u64 t2 = t + carry;
      hi += t2 < t ? 1 : 0;
      p[i + j] = t2;
      carry = hi;
    }
    p[i + 4] = carry;
  }
  Big r;
  r.neg = a.neg != b.neg;
  r.e = a.e + b.e;
  r.m = {p[7], p[6], p[5], p[4]};
  if ((r.m[0] >> 63) == 0) {
    r.m = ShiftLeft(r.m, 1);
    r.m[3] |= p[3] >> 63;
    --r.e;
  }
  return r;
}

// a / d for 1 <= d < 2^32.
Big DivSmall(const Big& a, u32 d) {
  if (a.IsZero()) return a;
  // Long division over 32-bit digits: the 8 digits of M and two more zeros.
  std::array<u64, 5> q{};
  u64 rem = 0;
  for (unsigned k = 0; k < 10; ++k) {
    const u64 digit = k < 8 ? (k % 2 == 0 ? a.m[k / 2] >> 32 : a.m[k / 2] & 0xffffffffu) : 0;
    const u64 cur = (rem << 32) | digit;
    const u64 qd = cur / d;
    rem = cur % d;
    q[k / 2] |= k % 2 == 0 ? qd << 32 : qd;
  }
  // q holds M * 2^64 / d (at least 2^287, so its top limb is non-zero).
  const int z = std::countl_zero(q[0]);
  Big r;
  r.neg = a.neg;
  r.e = a.e - z;
  for (unsigned i = 0; i < 4; ++i) {
    r.m[i] = z == 0 ? q[i] : (q[i] << z) | (q[i + 1] >> (64 - z));
  }
  return r;
}

constexpr Big FromDouble(double d) {
  const u64 bits = std::bit_cast<u64>(d);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  u64 mant = bits & ((u64{1} << 52) - 1);
  int exp2 = biased - 1075;  // |d| = mant * 2^exp2
  if (biased == 0) {
    exp2 = -1074;
  } else {
    mant |= u64{1} << 52;
  }
  Big r;
  if (mant == 0) return r;
  const int z = std::countl_zero(mant);
  r.m[0] = mant << z;
  r.e = exp2 - z + 64;
  r.neg = (bits >> 63) != 0;
  return r;
}

bool BitAt(const Limbs& a, int i) {  // bit i, counting from the least significant
  return ((a[static_cast<unsigned>(3 - i / 64)] >> (i % 64)) & 1) != 0;
}

bool AnyBitBelow(const Limbs& a, int i) {  // any of bits 0 .. i-1
  for (int limb = 3; limb >= 0 && i > 0; --limb, i -= 64) {
    const u64 v = a[static_cast<unsigned>(limb)];
    if ((i >= 64 ? v : v & ((u64{1} << i) - 1)) != 0) return true;
  }
  return false;
}

// M / 2^s rounded to nearest, ties to even, for s >= 203.
u64 RoundShift(const Limbs& m, int s) {
  if (s > 256) return 0;  // below half of one unit
  const u64 q = s == 256 ? 0 : ShiftRight(m, s)[3];
  const bool half = BitAt(m, s - 1);
  const bool sticky = AnyBitBelow(m, s - 1);
  return q + (half && (sticky || (q & 1) != 0) ? 1 : 0);
}

// The double nearest to b, ties to even, with IEEE overflow and underflow.
double ToDouble(const Big& b) {
  if (b.IsZero()) return 0.0;
  const u64 sign = b.neg ? u64{1} << 63 : 0;
  const double inf = std::numeric_limits<double>::infinity();
  int exponent = b.e - 1;  // 2^exponent <= |b| < 2^(exponent + 1)
  if (exponent > 1023) return b.neg ? -inf : inf;
  u64 bits;
  if (exponent >= -1022) {
    u64 n = RoundShift(b.m, 203);
    if (n == u64{1} << 53) {
      n >>= 1;
      ++exponent;
      if (exponent > 1023) return b.neg ? -inf : inf;
    }
    bits = (static_cast<u64>(exponent + 1023) << 52) | (n & ((u64{1} << 52) - 1));
  } else {
    // Multiples of 2^-1074; a carry into 2^-1022 yields its encoding too.
    bits = RoundShift(b.m, -818 - b.e);
  }
  return std::bit_cast<double>(bits | sign);
}

DD ToDD(const Big& b) {
  const double hi = ToDouble(b);
  return {hi, ToDouble(Sub(b, FromDouble(hi)))};
}

constexpr Big kOne = FromDouble(1.0);

// ln 2 = 2 atanh(1/3) = 2 * sum 3^-(2n+1) / (2n+1).
Big ComputeLn2() {
  Big power = DivSmall(kOne, 3);
  Big sum = power;
  for (u32 n = 1; n <= 85; ++n) {
    power = DivSmall(power, 9);
    sum = Add(sum, DivSmall(power, 2 * n + 1));
  }
  ++sum.e;
  return sum;
}

constexpr int kExpDegree = 12;
constexpr u32 kLogDegree = 5;

// The constants of the 256-bit evaluations.
struct BigTables {
  Big ln2;
  Big ln2_step;                               // ln2 / 2^16
  std::array<Big, kExpDegree + 1> inv_fact;   // 1 / n!
  std::array<Big, kLogDegree + 1> log_coeff;  // (-1)^(n+1) / n
  std::array<Big, 256> exp2_coarse;           // 2^(j/256)
  std::array<Big, 256> exp2_fine;             // 2^(j/2^16)
};

// e^r for |r| <= 2^-16.5 by the Taylor series to degree 12: truncation
// below 2^-245, rounding below 2^-250.
Big ExpSeries(const Big& r, const BigTables& b) {
  Big p = b.inv_fact[kExpDegree];
  for (int n = kExpDegree - 1; n >= 0; --n) p = Add(b.inv_fact[static_cast<unsigned>(n)], Mul(r, p));
  return p;
}

// e^x for |x| < 2^10: x = k ln2/2^16 + r, |r| <= ln2/2^17 (1 + 2^-30), and
// 2^(k/2^16) from the two tables. Relative error below 2^-235.
Big ExpBig(const Big& x, const BigTables& b) {
  const double kd = NearestIntegral(ToDouble(x) * 94548.46219969910);  // 2^16 / ln2
  const int k = static_cast<int>(kd);
  const Big r = k == 0 ? x : Sub(x, Mul(FromDouble(kd), b.ln2_step));
  Big p = Mul(Mul(ExpSeries(r, b), b.exp2_coarse[static_cast<unsigned>((k >> 8) & 255)]),
              b.exp2_fine[static_cast<unsigned>(k & 255)]);
  p.e += k >> 16;
  return p;
}

BigTables MakeBigTables() {
  BigTables b{};
  b.ln2 = ComputeLn2();
  b.ln2_step = b.ln2;
  b.ln2_step.e -= 16;
  b.inv_fact[0] = kOne;
  for (u32 n = 1; n <= kExpDegree; ++n) b.inv_fact[n] = DivSmall(b.inv_fact[n - 1], n);
  for (u32 n = 1; n <= kLogDegree; ++n) {
    b.log_coeff[n] = DivSmall(kOne, n);
    if (n % 2 == 0) b.log_coeff[n] = Negate(b.log_coeff[n]);
  }
  const Big fine = ExpSeries(b.ln2_step, b);
  b.exp2_fine[0] = kOne;
  for (unsigned j = 1; j < 256; ++j) b.exp2_fine[j] = Mul(b.exp2_fine[j - 1], fine);
  const Big coarse = Mul(b.exp2_fine[255], fine);
  b.exp2_coarse[0] = kOne;
  for (unsigned j = 1; j < 256; ++j) b.exp2_coarse[j] = Mul(b.exp2_coarse[j - 1], coarse);
  return b;
}

// ---------------------------------------------------------------------------
// Tables of the double evaluations, built once from the 256-bit ones.

struct LogEntry {
  double ch;  // c = ch + cl = 2^(-j/256), the reciprocal nearest to 1 + i/256
  double cl;
  int j;
};

struct Tables {
  BigTables big;
  double n_over_ln2;  // 256 / ln 2, for choosing k
  double l1, l2, l3;  // ln2 / 256 = l1 + l2 + l3; l1 and l2 have 34 bits
  std::array<DD, 256> exp2;  // 2^(j/256)
  std::array<LogEntry, 256> log;
};

// d with its 19 lowest significand bits cleared.
double Truncate34(double d) { return std::bit_cast<double>(std::bit_cast<u64>(d) & ~((u64{1} << 19) - 1)); }

Tables MakeTables() {
  Tables t{};
  t.big = MakeBigTables();
  Big step_log = t.big.ln2;
  step_log.e -= 8;
  t.l1 = Truncate34(ToDouble(step_log));
  const Big rest = Sub(step_log, FromDouble(t.l1));
  t.l2 = Truncate34(ToDouble(rest));
  t.l3 = ToDouble(Sub(rest, FromDouble(t.l2)));
  t.n_over_ln2 = 256.0 / ToDouble(t.big.ln2);
  for (unsigned j = 0; j < 256; ++j) t.exp2[j] = ToDD(t.big.exp2_coarse[j]);

  // For the mantissas that round to 1 + i/256, the j whose 2^(j/256) is
  // nearest in ratio; 2^(-j/256) is 2^((256-j)/256) / 2.
  for (unsigned i = 0; i < 256; ++i) {
    const double c = 1.0 + static_cast<double>(i) / 256.0;
    unsigned j = 0;
    while (j < 256 && t.exp2[j].hi * (j == 255 ? 2.0 : t.exp2[j + 1].hi) < c * c) ++j;
    const DD& inv = t.exp2[(256 - j) & 255];
    const double half = j == 0 ? 1.0 : 0.5;
    t.log[i] = {inv.hi * half, inv.lo * half, static_cast<int>(j)};
  }
  return t;
}

const Tables& GetTables() {
  static const Tables tables = MakeTables();
  return tables;
}

// ---------------------------------------------------------------------------
// exp

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

namespace {

// ---------------------------------------------------------------------------
// ln

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
