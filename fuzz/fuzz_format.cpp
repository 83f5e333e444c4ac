// The formatters on any double, width and decimals: they return, keep to the
// width, and write text that reads back as a number (or INF / NAN).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/numtext.h"

namespace {

using namespace velmora::common;

constexpr std::int32_t kWidthCap = 1024;  // the formatters' padding limit

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = size < sizeof(T) ? size : sizeof(T);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

bool AtLeast(const std::u16string& text, std::int32_t width) {
  const std::int32_t wanted = width > kWidthCap ? kWidthCap : width;
  return wanted <= 0 || text.size() >= static_cast<std::size_t>(wanted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const double x = Take<double>(data, size);
  const std::int32_t width = Take<std::int32_t>(data, size);
  const std::int32_t decimals = Take<std::int32_t>(data, size);

  const std::u16string fixed = FixedDecimal(x, decimals);
  if (std::isfinite(x)) {
    // Fixed or exponent form, both in the number syntax; 17 significant
    // digits read back within a few units in the last place.
    const double back = StrToValue(fixed);
    if (std::isnan(back) || std::isinf(back)) std::abort();
    if (decimals == 17 && std::fabs(x) >= 1 && std::fabs(x) < 1e15 &&
        std::fabs(back - x) > 1e-15 * std::fabs(x)) {
      std::abort();
    }
  } else if (fixed != (std::isnan(x) ? u"NAN" : x < 0 ? u"-INF" : u"INF")) {
    std::abort();
  }
  const std::u16string padded = FormatFixed(x, width, decimals);
  if (!AtLeast(padded, width)) std::abort();
  if (!std::isnan(x) && padded.find(fixed) == std::u16string::npos) std::abort();
  const std::u16string si = FormatSI(x, width, decimals);
  // The number field is one narrower; the unit range adds no letter.
  if (si.empty() || !AtLeast(si, std::isnan(x) ? width : width > 0 ? width - 1 : 0)) std::abort();
  return 0;
}
