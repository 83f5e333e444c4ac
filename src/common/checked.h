// Checked double arithmetic. Every operation rounds to nearest (the IEEE
// default) and then inspects its result:
//   - an invalid operation (0/0, inf-inf, 0*inf, an ordered comparison with a
//     NaN, an integer conversion of a NaN or of an out-of-range value, the
//     logarithm of a negative number) throws FpFault::Invalid;
//   - a finite non-zero number divided by zero, and the logarithm of zero,
//     throw FpFault::DivideByZero;
//   - a finite result beyond the range of doubles throws FpFault::Overflow.
// Quiet NaN operands pass through arithmetic silently, as in IEEE 754;
// underflow, denormals and inexact results are not faults.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/fp_error.h"

namespace velmora::common {

class Checked {
 public:
  constexpr Checked() = default;
  constexpr Checked(double v) : v_(v) {}  // NOLINT: implicit by design
  constexpr double value() const { return v_; }

  friend Checked operator+(Checked a, Checked b) { return Checked(CheckSum(a.v_, b.v_, a.v_ + b.v_)); }
  friend Checked operator-(Checked a, Checked b) { return Checked(CheckSum(a.v_, -b.v_, a.v_ - b.v_)); }
  friend Checked operator*(Checked a, Checked b) { return Checked(CheckProduct(a.v_, b.v_)); }
  friend Checked operator/(Checked a, Checked b) { return Checked(CheckQuotient(a.v_, b.v_)); }
  Checked operator-() const { return Checked(-v_); }

  // Ordered comparisons signal Invalid on a NaN operand.
  friend bool operator<(Checked a, Checked b) { Ordered(a.v_, b.v_); return a.v_ < b.v_; }
  friend bool operator>(Checked a, Checked b) { Ordered(a.v_, b.v_); return a.v_ > b.v_; }
  friend bool operator<=(Checked a, Checked b) { Ordered(a.v_, b.v_); return a.v_ <= b.v_; }
  friend bool operator>=(Checked a, Checked b) { Ordered(a.v_, b.v_); return a.v_ >= b.v_; }
  // Equality is unordered and never signals.
  friend bool operator==(Checked a, Checked b) { return a.v_ == b.v_; }

 private:
  static void Ordered(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) RaiseFault(FpFault::Invalid);
  }
  static double CheckSum(double a, double b, double r) {
    if (std::isfinite(r)) return r;
    if (std::isnan(r)) {
      if (!std::isnan(a) && !std::isnan(b)) RaiseFault(FpFault::Invalid);  // inf - inf
    } else if (std::isfinite(a) && std::isfinite(b)) {
      RaiseFault(FpFault::Overflow);
    }
    return r;
  }
  static double CheckProduct(double a, double b) {
    double r = a * b;
    if (std::isfinite(r)) return r;
    if (std::isnan(r)) {
      if (!std::isnan(a) && !std::isnan(b)) RaiseFault(FpFault::Invalid);  // 0 * inf
    } else if (std::isfinite(a) && std::isfinite(b)) {
      RaiseFault(FpFault::Overflow);
    }
    return r;
  }
  static double CheckQuotient(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return a / b;
    if (b == 0.0) {
      if (a == 0.0) RaiseFault(FpFault::Invalid);                  // 0 / 0
      if (std::isfinite(a)) RaiseFault(FpFault::DivideByZero);     // x / 0
      return a / b;                                                // inf / 0: exact
    }
    double r = a / b;
    if (std::isnan(r)) RaiseFault(FpFault::Invalid);               // inf / inf
    if (std::isinf(r) && std::isfinite(a)) RaiseFault(FpFault::Overflow);
    return r;
  }

  double v_ = 0.0;
};

// exp(x), correctly rounded; a finite x whose result exceeds the range of
// doubles throws Overflow. exp(+inf) is +inf and exp(-inf) is 0, silently.
Checked CheckedExp(Checked x);
// ln(x), correctly rounded; ln(0) throws DivideByZero, ln(x < 0) throws
// Invalid, ln(+inf) is +inf, a NaN passes through.
Checked CheckedLn(Checked x);

// Rounds to the nearest integer, halves to even. A NaN, or a value outside
// the range of the integer type, throws Invalid.
std::int32_t RoundToInt32(Checked x);
std::int64_t RoundToInt64(Checked x);
// Truncates toward zero; same faults as RoundToInt32.
std::int32_t TruncToInt32(Checked x);

}  // namespace velmora::common
