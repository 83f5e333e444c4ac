#include "common/axis_ticks.h"

#include <algorithm>
#include <cmath>

#include "common/numtext.h"
#include "common/utf.h"

namespace velmora::common {
namespace {

// The SI prefixes from pico to tera, kPrefixes[4] none.
constexpr const char* kPrefixes[] = {"p", "n", "u", "m", "", "k", "M", "G", "T"};

}  // namespace

std::vector<Tick> AxisTicks(double lo, double hi, int most, bool siPrefix) {
  std::vector<Tick> ticks;
  if (!(hi > lo) || !std::isfinite(hi - lo) || most < 1) return ticks;
  const double rough = (hi - lo) / most;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough) break;
  }
  // One prefix for the whole axis, from its largest magnitude.
  int exponent = 0;
  if (siPrefix) {
    const double largest = std::max(std::abs(lo), std::abs(hi));
    exponent = std::clamp(static_cast<int>(std::floor(std::log10(largest) / 3.0)), -4, 4);
  }
  const double scale = std::pow(1000.0, exponent);
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step / scale) + 1e-9)));
  for (double k = std::ceil(lo / step); k * step <= hi; k += 1.0) {
    const double v = k * step;
    if (k == 0.0) {  // zero needs neither sign nor prefix
      ticks.push_back({0.0, "0"});
      continue;
    }
    ticks.push_back({v, Utf16ToUtf8(FixedDecimal(v / scale, decimals)) + kPrefixes[exponent + 4]});
  }
  return ticks;
}

std::vector<Tick> LogAxisTicks(double lo, double hi) {
  std::vector<Tick> ticks;
  if (!(lo > 0.0 && hi > lo && std::isfinite(hi))) return ticks;
  const int first = static_cast<int>(std::floor(std::log10(lo)));
  const int last = static_cast<int>(std::ceil(std::log10(hi)));
  for (int k = first; k <= last; ++k) {
    const double decade = std::pow(10.0, k);
    for (int m = 1; m <= 9; ++m) {
      const double v = m * decade;
      if (v < lo * (1 - 1e-12) || v > hi * (1 + 1e-12)) continue;
      if (m > 1) {
        ticks.push_back({v, {}});
        continue;
      }
      const int group = static_cast<int>(std::floor(k / 3.0));
      const int exponent = std::clamp(group, -4, 4);
      const double shown = decade / std::pow(1000.0, exponent);
      const int decimals = shown < 1 ? static_cast<int>(std::ceil(-std::log10(shown) - 1e-9)) : 0;
      ticks.push_back({v, Utf16ToUtf8(FixedDecimal(shown, decimals)) + kPrefixes[exponent + 4]});
    }
  }
  return ticks;
}

}  // namespace velmora::common
