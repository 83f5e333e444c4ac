#include "common/series.h"

#include <array>

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

double RoundToSeries(double x, std::int32_t n) {
  const Checked cx = x;
  if (cx == 0.0 || n == 0) return x;
  const std::int64_t steps = n < 0 ? -static_cast<std::int64_t>(n) : n;

  const bool negative = cx < 0.0;  // Invalid for a NaN
  const Checked s = negative ? -1.0 : 1.0;
  const Checked a = negative ? -cx : cx;

  // The decade: floor(log10 a), except one less for an exact negative power.
  Checked L = Log10(a.value());
  if (L < 0.0) L = L - 1.0;
  const Checked p = PowerOfTen(TruncToInt32(L));  // Invalid for an infinity
  const Checked g = a / p;

  const std::int64_t l = RoundToInt64(ToChecked(steps) * Log10(g.value()));
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
