#include "explore/binning.h"

#include <algorithm>
#include <cmath>

namespace velmora::explore {

Binning BinsOver(double lo, double hi, std::size_t count) {
  count = std::max<std::size_t>(count, 1);
  double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) {
    const double centre = std::isfinite(lo) ? lo : 0.0;
    const double half = centre == 0.0 ? 1.0 : std::abs(centre) / 100.0;
    lo = centre - half;
    span = 2.0 * half;
  } else {
    lo -= span / 50.0;
    span *= 1.04;
  }
  return {lo, span / static_cast<double>(count), count};
}

Binning FitBins(std::vector<double> values, const Binning& given) {
  if (values.empty()) return given;
  auto at = [&](double p) {
    const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
  };
  const auto [least, most] = std::minmax_element(values.begin(), values.end());
  const double min = *least, max = *most;
  const double lo = at(0.001), hi = at(0.999), margin = (hi - lo) / 10.0;
  return BinsOver(std::max(lo - margin, min), std::min(hi + margin, max), given.count);
}

void BinCounts::Add(const Binning& b, double x) {
  if (!(x >= b.lo)) {
    ++below;
    return;
  }
  const double hi = b.hi();
  if (x > hi) {
    ++above;
    return;
  }
  // The quotient can round up to the next bin near an edge: the edges, as
  // Edge() computes them, decide.
  auto i = static_cast<std::size_t>(std::floor((x - b.lo) / b.width));
  if (i >= b.count) i = b.count - 1;
  if (i > 0 && x < b.Edge(i)) --i;
  else if (i + 1 < b.count && x >= b.Edge(i + 1)) ++i;
  ++bins[i];
}

void BinCounts::Append(const BinCounts& other) {
  if (bins.size() < other.bins.size()) bins.resize(other.bins.size());
  for (std::size_t i = 0; i < other.bins.size(); ++i) bins[i] += other.bins[i];
  below += other.below;
  above += other.above;
}

}  // namespace velmora::explore
