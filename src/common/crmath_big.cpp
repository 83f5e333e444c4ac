// 256-bit binary floating point for the hard cases of exp and ln and for
// their tables: just enough of it (add, multiply, divide by a small integer,
// round to a double), every operation truncating toward zero.
#include <array>
#include <bit>
#include <limits>

#include "common/crmath_internal.h"

namespace velmora::common::crmath {
namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace velmora::common::crmath
