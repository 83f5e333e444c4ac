#include "common/series.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <memory>
#include <vector>

namespace velmora::common {
namespace {

// 10^e for e = -3 ... 6, the only powers taken as exact constants.
constexpr std::array<double, 10> kExactPowers{0.001, 0.01,   0.1,     1.0,      10.0,
                                              100.0, 1000.0, 10000.0, 100000.0, 1000000.0};

Checked PowerOfTen(std::int32_t e) {
  if (e >= -3 && e <= 6) return kExactPowers[static_cast<std::size_t>(e + 3)];
  return CheckedExp(Checked(static_cast<double>(e)) * kStoredLn10);
}

Checked ToChecked(std::int64_t i) { return static_cast<double>(i); }

}  // namespace

double Log10(double x) { return (CheckedLn(x) * kLog10Factor).value(); }

namespace {

double ComputeSeriesValue(std::int64_t k, std::int64_t n) {
  const Checked q = ToChecked(k) / ToChecked(n);
  Checked v = CheckedExp(q * kStoredLn10);
  if (n > 24) {
    const std::int64_t h = RoundToInt64(v * 100.0);
    if (h == 459) return 4.58;
    if (h == 919) return 9.2;
    return (ToChecked(h) / 100.0).value();
  }
  if (q > 0.395 && q < 0.687) v = v + 0.1;
  if (q > 0.896 && q < 0.937) v = v - 0.1;
  return (ToChecked(RoundToInt64(v * 10.0)) / 10.0).value();
}

// Series values are pure functions of (k, n), and a calculation asks for the
// same few again and again: remember the last ones (a value that faults is
// not remembered, so it faults again).
struct Memo {
  std::int64_t k = 0, n = 0;
  double value = 0;
  bool used = false;
};
thread_local std::array<Memo, 64> memo;

}  // namespace

double SeriesValue(std::int64_t k, std::int64_t n) {
  const auto hash = static_cast<std::uint64_t>(k) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(n);
  Memo& slot = memo[(hash ^ (hash >> 29)) % memo.size()];
  if (slot.used && slot.k == k && slot.n == n) return slot.value;
  const double value = ComputeSeriesValue(k, n);
  slot = {k, n, value, true};
  return value;
}

namespace {

// ---- The two logarithms of a rounding, as lookups ----
//
// A rounding takes two logarithms: one for the decade of |x|, one for the
// step of its mantissa g in the series. Both results are step functions of
// their argument that never decrease (the logarithm is correctly rounded,
// hence monotonic, and so is every rounding after it). Their steps are found
// once by bisection over the doubles, with the very same expressions, so a
// lookup gives bit for bit what the logarithms give. Arguments outside the
// tables' ranges take the logarithms.

// The decade: floor(log10 a), except one less for an exact negative power.
std::int32_t DecadeByLog(Checked a) {
  Checked L = Log10(a.value());
  if (L < 0.0) L = L - 1.0;
  return TruncToInt32(L);  // Invalid for an infinity
}

// The index of the series member nearest to g in the logarithm.
std::int64_t StepByLog(std::int64_t steps, Checked g) {
  return RoundToInt64(ToChecked(steps) * Log10(g.value()));
}

// A non-decreasing integer function over [lo, hi) of positive doubles, by
// where it steps: starts[j] is the first argument at which it reaches first + j.
class StepTable {
 public:
  template <class F>
  StepTable(double lo, double hi, F f) : lo_(lo), hi_(hi), first_(f(lo)) {
    const double top = std::nextafter(hi, 0.0);
    const std::int64_t last = f(top);
    starts_.reserve(static_cast<std::size_t>(last - first_ + 1));
    starts_.push_back(lo);
    for (std::int64_t v = first_ + 1; v <= last; ++v) starts_.push_back(FirstReaching(starts_.back(), top, v, f));
  }

  bool Covers(double x) const { return x >= lo_ && x < hi_; }
  // The function at x; Covers(x) must hold.
  std::int64_t At(double x) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), x);
    return first_ + (after - starts_.begin()) - 1;
  }

 private:
  // The smallest double in [lo, hi] where f reaches v; f(hi) >= v. Positive
  // doubles order like their bit patterns.
  template <class F>
  static double FirstReaching(double lo, double hi, std::int64_t v, F f) {
    if (f(lo) >= v) return lo;
    std::uint64_t below = std::bit_cast<std::uint64_t>(lo), at = std::bit_cast<std::uint64_t>(hi);
    while (at - below > 1) {
      const std::uint64_t mid = below + (at - below) / 2;
      (f(std::bit_cast<double>(mid)) >= v ? at : below) = mid;
    }
    return std::bit_cast<double>(at);
  }

  double lo_, hi_;
  std::int64_t first_;
  std::vector<double> starts_;
};

// The decades of 1e-3 <= a < 1e7, the range of every practical resistor.
const StepTable& DecadeTable() {
  static const StepTable table(1e-3, 1e7, [](double a) { return std::int64_t{DecadeByLog(a)}; });
  return table;
}

// The steps of 1 <= g < 10 in series of up to this many steps, made on first use.
constexpr std::int64_t kTabledSteps = 192;

const StepTable& StepTableOf(std::int64_t steps) {
  thread_local std::array<std::unique_ptr<StepTable>, kTabledSteps + 1> tables;
  std::unique_ptr<StepTable>& table = tables[static_cast<std::size_t>(steps)];
  if (!table) table = std::make_unique<StepTable>(1.0, 10.0, [steps](double g) { return StepByLog(steps, g); });
  return *table;
}

std::int32_t Decade(Checked a) {
  const StepTable& table = DecadeTable();
  if (table.Covers(a.value())) return static_cast<std::int32_t>(table.At(a.value()));
  return DecadeByLog(a);
}

std::int64_t Step(std::int64_t steps, Checked g) {
  if (steps <= kTabledSteps) {
    const StepTable& table = StepTableOf(steps);
    if (table.Covers(g.value())) return table.At(g.value());
  }
  return StepByLog(steps, g);
}

}  // namespace

double RoundToSeries(double x, std::int32_t n) {
  const Checked cx = x;
  if (cx == 0.0 || n == 0) return x;
  const std::int64_t steps = n < 0 ? -static_cast<std::int64_t>(n) : n;

  const bool negative = cx < 0.0;  // Invalid for a NaN
  const Checked s = negative ? -1.0 : 1.0;
  const Checked a = negative ? -cx : cx;

  const Checked p = PowerOfTen(Decade(a));
  const Checked g = a / p;

  const std::int64_t l = Step(steps, g);
  const Checked m = SeriesValue(l, steps);
  const bool above = g > m;
  const Checked o = SeriesValue(above ? l + 1 : l - 1, steps);
  const Checked r = above ? 1.0 : -1.0;

  // Negative when g lies strictly beyond the geometric mean of m and o.
  const Checked t = (((m / g) * o) / g - 1.0) * r;
  if (t < 0.0) return ((o * s) * p).value();
  return ((m * s) * p).value();
}

}  // namespace velmora::common
