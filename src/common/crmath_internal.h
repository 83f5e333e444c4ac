// What exp and ln share: exact double arithmetic, 256-bit binary floating
// point for the rare hard cases, and the tables of both, built on first use
// by the same 256-bit code. Internal to crmath_*.cpp.
//
// The code relies on IEEE double arithmetic rounded to nearest with no fused
// multiply-add contraction (-ffp-contract=off) and no excess precision, as on
// every SSE2 target.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace velmora::common::crmath {

using u64 = std::uint64_t;
using u32 = std::uint32_t;

// ---------------------------------------------------------------------------
// Exact double arithmetic.

struct DD {
  double hi;
  double lo;
};

// a + b == s + e exactly.
inline DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b == s + e exactly, provided |a| >= |b| (or a == 0).
inline DD FastTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a == hi + lo with hi and lo of at most 26 significant bits.
inline DD Split(double a) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  const double hi = c - (c - a);
  return {hi, a - hi};
}

// a * b == p + e exactly (no overflow or underflow in the range used here).
inline DD TwoProd(double a, double b) {
  const double p = a * b;
  const DD as = Split(a);
  const DD bs = Split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

// Nearest integer, halves to even, for |v| < 2^51.
inline double NearestIntegral(double v) { return (v + 0x1.8p52) - 0x1.8p52; }

// 2^e for -1022 <= e <= 1023.
inline double Pow2(int e) { return std::bit_cast<double>(static_cast<u64>(e + 1023) << 52); }

// ---------------------------------------------------------------------------
// 256-bit binary floating point (crmath_big.cpp). A value is
// (-1)^neg * M * 2^(e - 256) with M the 256-bit integer in m (most
// significant limb first), normalized so that M >= 2^255, or M == 0 for zero.
// Every operation truncates toward zero: relative error below 2^-255.

using Limbs = std::array<u64, 4>;

struct Big {
  Limbs m{};
  int e = 0;
  bool neg = false;
  constexpr bool IsZero() const { return m[0] == 0; }
};

Big Add(const Big& x, const Big& y);
Big Negate(Big a);
Big Sub(const Big& a, const Big& b);
Big Mul(const Big& a, const Big& b);
// a / d for 1 <= d < 2^32.
Big DivSmall(const Big& a, u32 d);
// The double nearest to b, ties to even, with IEEE overflow and underflow.
double ToDouble(const Big& b);
// b as hi + lo, each rounded to nearest.
DD ToDD(const Big& b);

// d exactly.
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

inline constexpr Big kOne = FromDouble(1.0);

// ---------------------------------------------------------------------------
// The tables (crmath_tables.cpp).

inline constexpr int kExpDegree = 12;
inline constexpr u32 kLogDegree = 5;

// The constants of the 256-bit evaluations.
struct BigTables {
  Big ln2;
  Big ln2_step;                               // ln2 / 2^16
  std::array<Big, kExpDegree + 1> inv_fact;   // 1 / n!
  std::array<Big, kLogDegree + 1> log_coeff;  // (-1)^(n+1) / n
  std::array<Big, 256> exp2_coarse;           // 2^(j/256)
  std::array<Big, 256> exp2_fine;             // 2^(j/2^16)
};

// e^x for |x| < 2^10, relative error below 2^-235.
Big ExpBig(const Big& x, const BigTables& b);

struct LogEntry {
  double ch;  // c = ch + cl = 2^(-j/256), the reciprocal nearest to 1 + i/256
  double cl;
  int j;
};

// The tables of the double evaluations, built once from the 256-bit ones.
struct Tables {
  BigTables big;
  double n_over_ln2;  // 256 / ln 2, for choosing k
  double l1, l2, l3;  // ln2 / 256 = l1 + l2 + l3; l1 and l2 have 34 bits
  std::array<DD, 256> exp2;  // 2^(j/256)
  std::array<LogEntry, 256> log;
};

// Built on the first call (thread-safe), the same ever after.
const Tables& GetTables();

}  // namespace velmora::common::crmath
