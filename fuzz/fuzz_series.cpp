// RoundToSeries and SeriesValue for any double and any series number: each
// returns or throws its floating-point fault. A finite non-zero result keeps
// the sign of x, and N = 0 or x = 0 returns x unchanged.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/fp_error.h"
#include "common/series.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  std::uint64_t bits = 0;
  std::int32_t n = 0;
  std::memcpy(&bits, data, 8);
  std::memcpy(&n, data + 8, 4);
  const double x = std::bit_cast<double>(bits);
  try {
    const double r = velmora::common::RoundToSeries(x, n);
    if (n == 0 || x == 0.0) {
      if (std::bit_cast<std::uint64_t>(r) != bits) std::abort();
    } else if (std::isfinite(r) && r != 0.0 && std::signbit(r) != std::signbit(x)) {
      std::abort();
    }
  } catch (const velmora::common::FloatingPointError&) {
  }
  if (n != 0 && size >= 20) {
    std::int64_t k = 0;
    std::memcpy(&k, data + 12, 8);
    try {
      velmora::common::SeriesValue(k, n);
    } catch (const velmora::common::FloatingPointError&) {
    }
  }
  return 0;
}
