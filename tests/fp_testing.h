// Helpers shared by the tests of the floating-point code.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>

#include "common/fp_error.h"

namespace velmora::testing {

// Bitwise equality (so +0 and -0 differ); any NaN matches any NaN.
inline bool Same(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

// The fault that f() throws, if any.
template <class F>
std::optional<common::FpFault> FaultOf(F f) {
  try {
    f();
  } catch (const common::FloatingPointError& e) {
    return e.fault();
  }
  return std::nullopt;
}

}  // namespace velmora::testing
