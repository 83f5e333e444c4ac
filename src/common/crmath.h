// Correctly rounded exponential and natural logarithm, in portable C++ that
// gives the same bits on every IEEE 754 target (no FMA contraction, no long
// double, no C library call for the result). Plain IEEE semantics, no faults:
// the checked wrappers in checked.h decide what is an error.
#pragma once

namespace velmora::common {

// e^x rounded to nearest, ties to even. +inf for results beyond DBL_MAX,
// 0 or a subnormal for tiny results, NaN for NaN, exp(-inf) = 0.
double CrExp(double x) noexcept;

// ln(x) rounded to nearest, ties to even. -inf for +-0, NaN for x < 0 and
// for NaN, +inf for +inf. Subnormal x is handled exactly.
double CrLn(double x) noexcept;

}  // namespace velmora::common
