// The spread of values: mean, deviation, extremes and percentiles.
#include "explore/spread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "explore/random.h"

namespace velmora::explore {
namespace {

// Linear between the order statistics around (n - 1) p, from a full sort.
double SortedPercentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const double h = static_cast<double>(v.size() - 1) * p;
  const auto lo = static_cast<std::size_t>(h);
  if (lo + 1 >= v.size()) return v[lo];
  return v[lo] + (h - static_cast<double>(lo)) * (v[lo + 1] - v[lo]);
}

// 8192 values, `zeros` of them 0 (every even place first), the rest 1.
std::vector<double> SplitZerosAndOnes(std::size_t zeros) {
  std::vector<double> v(8192, 1.0);
  for (std::size_t i = 0; zeros > 0; i = i + 2 < v.size() ? i + 2 : 1, --zeros) v[i] = 0.0;
  return v;
}

TEST(SpreadOf, MatchesTheSortedDefinition) {
  Random random(5);
  auto draws = [&](std::size_t n, auto f) {
    std::vector<double> v(n);
    for (double& x : v) x = f(random.Symmetric());
    return v;
  };
  std::vector<double> deceptive(409600);  // the even subsample sees only the 1000s
  for (std::size_t i = 0; i < deceptive.size(); ++i) deceptive[i] = i % 100 == 0 ? 1000.0 : static_cast<double>(i % 7);
  const std::vector<std::vector<double>> sets = {
      deceptive,
      draws(1000, [](double u) { return 600 + 50 * u; }),
      draws(150000, [](double u) { return std::exp(3 * u); }),      // skewed: bracketed selection
      draws(70000, [](double u) { return u > 0.97 ? 2.0 : 1.0; }),  // ties across the 99th percentile
      std::vector<double>(50000, 602.8061224489796),
      {5.0},
      {2.0, -1.0},
      // The even subsample sees only zeros: the 99th percentile's order
      // statistic is the last value inside the bracket, or the first above it.
      SplitZerosAndOnes(8109), SplitZerosAndOnes(8110),
  };
  for (const auto& v : sets) {
    SCOPED_TRACE(v.size());
    const Spread s = SpreadOf(v);
    EXPECT_EQ(s.p01, SortedPercentile(v, 0.01));
    EXPECT_EQ(s.p99, SortedPercentile(v, 0.99));
    EXPECT_EQ(s.min, *std::min_element(v.begin(), v.end()));
    EXPECT_EQ(s.max, *std::max_element(v.begin(), v.end()));
    long double mean = 0, squares = 0;
    for (double x : v) mean += x;
    mean /= static_cast<long double>(v.size());
    for (double x : v) squares += (x - mean) * (x - mean);
    const double sd = v.size() > 1 ? static_cast<double>(std::sqrt(squares / (v.size() - 1))) : 0.0;
    EXPECT_NEAR(s.mean, static_cast<double>(mean), 1e-12 * std::fabs(static_cast<double>(mean)));
    EXPECT_NEAR(s.sd, sd, 1e-9 * sd + 1e-12 * std::fabs(static_cast<double>(mean)));
  }
  EXPECT_TRUE(std::isnan(SpreadOf({}).mean));
}

}  // namespace
}  // namespace velmora::explore
