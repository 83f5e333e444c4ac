// Preferred-number (E) series: values, rounding to the nearest member, and the
// base-10 logarithm they are defined on.
#pragma once

#include <cstdint>

#include "common/checked.h"

namespace velmora::common {

// Natural logarithm of 10 as the series formulas store it (15 significant
// digits, a little above the true value).
inline constexpr double kStoredLn10 = 2.30258509299405;
inline constexpr double kLog10Factor = 0.4342944819032518;

// ln(x) * 0.4342944819032518: one correctly rounded logarithm, then one
// multiplication. Faults as CheckedLn: x = 0 DivideByZero, x < 0 Invalid; a
// NaN passes through.
double Log10(double x);

// The k-th member of the series with n steps per decade, as a mantissa
// (1.0 for k = 0, 10.0 for k = n); k = -1 and k = n + 1 continue the formula.
// n != 0. Series of up to 24 steps get the one-decimal corrections, longer
// ones three significant digits (with the 4.58 and 9.2 exceptions).
// Takes 64-bit arguments so that neighbours of extreme series numbers
// (k = n + 1 with n = INT32_MAX) do not overflow. Throws only FloatingPointError:
// n == 0 is a division by zero (Invalid when k == 0 too), and a k so far past
// n that the power of ten leaves the range of doubles overflows.
double SeriesValue(std::int64_t k, std::int64_t n);

// The member of series |n| nearest to x in ratio, with the sign and decade of
// x; x itself when x == 0 (either sign) or n == 0 (even a NaN or an infinity).
// A negative n rounds like its magnitude. Ties between two members go to the
// one the logarithm rounds to: the other wins only strictly beyond their
// geometric mean.
// Faults, at the step that meets them: with n != 0 a NaN x throws Invalid
// (ordered comparison) and an infinite x throws Invalid (its decade has no
// integer); a member beyond the range of doubles (x just below DBL_MAX whose
// nearest member is above it) throws Overflow; an x below about 1e-323, whose
// power of ten underflows to 0, throws DivideByZero.
double RoundToSeries(double x, std::int32_t n);

}  // namespace velmora::common
