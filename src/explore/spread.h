// The spread of many values: mean, standard deviation, extremes and the 1st
// and 99th percentiles, gathered in passes that keep only the values near
// each percentile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace velmora::explore {

struct Spread {
  double mean = 0, sd = 0;  // sd with n - 1 in the denominator (0 for one sample)
  double p01 = 0, p99 = 0;  // 1st and 99th percentiles, linear between order statistics
  double min = 0, max = 0;  // of the samples
};

// The spread of no values: NaN everywhere.
inline constexpr Spread kNoSpread{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};

// The spread of any values. One pass sums their differences from the first
// value (so that equal values give exactly that value as their mean and 0
// as their deviation), finds the extremes and keeps the values near each
// percentile, bracketed from an even subsample; a selection among those
// gives the percentile, and a bracket that misses costs a second pass that
// keeps everything. kNoSpread for no values. Throws only
// common::FloatingPointError (Overflow), for sums beyond the range of doubles.
Spread SpreadOf(std::span<const double> values);

// ---- Gathering in passes ----

// The percentiles a Spread gives, as fractions.
inline constexpr std::array<double, 2> kQuantiles{0.01, 0.99};

// What passes over values keep for their spread: sums of their differences
// from a pivot, their extremes, and for each quantile the count of values
// under its bracket [lo, hi] and the values inside it. A bracket from a
// sample of the values saves keeping them all; when the quantile's order
// statistics fall outside it, the values have to be gathered again.
struct Gathered {
  double pivot = 0;
  std::array<double, 2> lo{}, hi{};
  std::uint64_t n = 0;
  double sum = 0, squares = 0, min = 0, max = 0;
  std::array<std::uint64_t, 2> below{};
  std::array<std::vector<double>, 2> inside;

  // Plain sums of finite terms: an overflow leaves them infinite or NaN,
  // which Finish reports. Inline: every sample of a Monte Carlo run passes.
  void Add(double x) {
    const double d = x - pivot;
    sum += d;
    squares += d * d;
    min = n == 0 || x < min ? x : min;
    max = n == 0 || x > max ? x : max;
    ++n;
    for (std::size_t k = 0; k < 2; ++k) {
      if (x < lo[k]) ++below[k];
      else if (x <= hi[k]) inside[k].push_back(x);
    }
  }
  // Appends what a later part of the values gathered with the same pivot
  // and brackets; the order of the parts fixes the rounding of the sums.
  void Append(Gathered&& later);
  // A copy with the pivot and the brackets, and nothing gathered.
  Gathered Empty() const;
};

// Pivot and brackets for values of which `sample` (reordered) is an even,
// non-empty sample: each bracket spans the sample's quantile widened by
// `sigmas` standard deviations of its rank, and as many places.
void SetBrackets(Gathered& g, std::vector<double>& sample, double sigmas);

// Brackets that hold every value.
void OpenBrackets(Gathered& g);

// The spread of what was gathered (kNoSpread for nothing), or nullopt when
// a quantile's order statistics (those around (n - 1) p, interpolated
// linearly) are not inside its bracket. Reorders the values kept. Throws
// common::FloatingPointError (Overflow) when the sums left the range of
// doubles.
std::optional<Spread> Finish(Gathered& g);

}  // namespace velmora::explore
