// Equal bins over a span of values, the counts of values in them, and the
// closed intervals of the acceptance windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::explore {

// `count` equal bins from `lo`, each `width` wide: bin i holds the values
// from lo + i width up to, not including, lo + (i + 1) width; the last bin
// also holds its upper edge.
struct Binning {
  double lo = 0, width = 1;
  std::size_t count = 0;
  double hi() const { return lo + width * static_cast<double>(count); }
  double Edge(std::size_t i) const { return lo + width * static_cast<double>(i); }
};

// `count` bins (at least one) over [lo, hi], which is widened by 2 % of its
// span on both sides (so that the extremes do not sit on the outer edges);
// a span of zero width becomes +-1 % around its value (+-1 around 0).
Binning BinsOver(double lo, double hi, std::size_t count);

// As many bins as `given` fitted to `values`: from their 0.1st to their
// 99.9th percentile widened by a tenth of that span on each side, but not
// beyond their extremes (so that a few values far out do not squeeze the
// rest into one bin); then as BinsOver. `given` itself when there are no
// values.
Binning FitBins(std::vector<double> values, const Binning& given);

// How many values fell into each bin of a Binning, and beside it.
struct BinCounts {
  std::vector<std::uint64_t> bins;
  std::uint64_t below = 0, above = 0;
  // Counts x; `bins` must have binning.count entries. NaN counts as below.
  void Add(const Binning& binning, double x);
  void Append(const BinCounts& other);
};

// A closed interval [lo, hi]; empty when lo > hi or either is NaN.
struct Interval {
  double lo = 0, hi = 0;
  bool Contains(double x) const { return x >= lo && x <= hi; }
};

}  // namespace velmora::explore
