#include "common/checked.h"

#include <cmath>

#include "common/crmath.h"

namespace velmora::common {
namespace {

// The integer nearest to v, halves to even; v itself when it is already
// integral, infinite or NaN.
double NearestEven(double v) {
  const double magnitude = std::fabs(v);
  if (!(magnitude < 0x1p52)) return v;
  // In [2^52, 2^53) the doubles are the integers: the addition rounds.
  return std::copysign((magnitude + 0x1p52) - 0x1p52, v);
}

}  // namespace

Checked CheckedExp(Checked x) {
  const double result = CrExp(x.value());
  if (std::isinf(result) && std::isfinite(x.value())) RaiseFault(FpFault::Overflow);
  return result;
}

Checked CheckedLn(Checked x) {
  const double v = x.value();
  if (v == 0.0) RaiseFault(FpFault::DivideByZero);
  if (v < 0.0) RaiseFault(FpFault::Invalid);
  return CrLn(v);  // NaN passes through
}

std::int32_t RoundToInt32(Checked x) {
  const double r = NearestEven(x.value());
  if (!(r >= -0x1p31 && r <= 0x1p31 - 1)) RaiseFault(FpFault::Invalid);
  return static_cast<std::int32_t>(r);
}

std::int64_t RoundToInt64(Checked x) {
  const double r = NearestEven(x.value());
  if (!(r >= -0x1p63 && r < 0x1p63)) RaiseFault(FpFault::Invalid);
  return static_cast<std::int64_t>(r);
}

std::int32_t TruncToInt32(Checked x) {
  const double v = x.value();
  if (!(v > -0x1p31 - 1 && v < 0x1p31)) RaiseFault(FpFault::Invalid);
  return static_cast<std::int32_t>(v);
}

}  // namespace velmora::common
