// The tables of exp and ln, built on first use by the 256-bit code: apart
// from polynomial coefficients and range limits no constant is written down.
#include <array>
#include <bit>

#include "common/crmath_internal.h"

namespace velmora::common::crmath {
namespace {

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

// e^r for |r| <= 2^-16.5 by the Taylor series to degree 12: truncation
// below 2^-245, rounding below 2^-250.
Big ExpSeries(const Big& r, const BigTables& b) {
  Big p = b.inv_fact[kExpDegree];
  for (int n = kExpDegree - 1; n >= 0; --n) p = Add(b.inv_fact[static_cast<unsigned>(n)], Mul(r, p));
  return p;
}

}  // namespace

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

namespace {

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

}  // namespace

const Tables& GetTables() {
  static const Tables tables = MakeTables();
  return tables;
}

}  // namespace velmora::common::crmath
