#include "explore/tolerance.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/checked.h"
#include "common/fp_error.h"
#include "explore/random.h"
#include "common/series.h"

namespace velmora::explore {

using common::Checked;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::array<double, kResistors> kUnit{1.0, 1.0, 1.0, 1.0, 1.0};

// One resistor's factor for a coordinate x in [-1, 1] of the box of
// half-width `fraction`; the Monte Carlo draws use the same expression.
double Factor(double fraction, double x) { return 1.0 + fraction * x; }

bool Better(double candidate, double incumbent, bool seekMax) {
  return seekMax ? candidate > incumbent : candidate < incumbent;
}

// Evaluates points of the box, counting them and widening the extremes.
class BoxWalker {
 public:
  BoxWalker(const BoxFunction& f, BoxExtremes& result) : f_(f), r_(result) {
    r_.min.fill(kNaN);
    r_.max.fill(kNaN);
  }

  bool Eval(const BoxPoint& x, BoxValues& v) {
    ++r_.points;
    if (!f_(x, v)) {
      ++r_.badPoints;
      return false;
    }
    for (std::size_t i = 0; i < kFigures; ++i) {
      if (std::isnan(r_.min[i]) || v[i] < r_.min[i]) r_.min[i] = v[i];
      if (std::isnan(r_.max[i]) || v[i] > r_.max[i]) r_.max[i] = v[i];
    }
    kept_.emplace_back(x, v);
    return true;
  }

  // Every point that had figures, in the order evaluated.
  const std::vector<std::pair<BoxPoint, BoxValues>>& kept() const { return kept_; }

 private:
  const BoxFunction& f_;
  BoxExtremes& r_;
  std::vector<std::pair<BoxPoint, BoxValues>> kept_;
};

void VisitCorners(BoxWalker& walker, BoxExtremes& r) {
  for (unsigned mask = 0; mask < (1u << kResistors); ++mask) {
    BoxPoint x;
    for (std::size_t i = 0; i < kResistors; ++i) x[i] = (mask >> i) & 1u ? 1.0 : -1.0;
    BoxValues v;
    if (!walker.Eval(x, v)) ++r.badCorners;
  }
}

// Lines along each axis, 9 points from -1 to 1, through every point of the
// lattice {-1, 0, 1}^4 of the other coordinates. A figure is monotonic when
// no line has it both rise and fall; a line with a point without figures
// vouches for nothing.
std::array<bool, kFigures> CheckMonotonic(BoxWalker& walker) {
  std::array<bool, kFigures> monotonic;
  monotonic.fill(true);
  constexpr int kLinePoints = 9, kLattice = 81;
  for (std::size_t axis = 0; axis < kResistors; ++axis) {
    for (int base = 0; base < kLattice; ++base) {
      BoxPoint x{};
      for (std::size_t i = 0, digits = static_cast<std::size_t>(base); i < kResistors; ++i) {
        if (i == axis) continue;
        x[i] = static_cast<double>(digits % 3) - 1.0;
        digits /= 3;
      }
      std::array<int, kFigures> direction{};
      BoxValues last{};
      bool haveLast = false;
      for (int k = 0; k < kLinePoints; ++k) {
        x[axis] = -1.0 + 0.25 * k;
        BoxValues v;
        if (!walker.Eval(x, v)) {
          monotonic.fill(false);
          haveLast = false;
          continue;
        }
        for (std::size_t i = 0; haveLast && i < kFigures; ++i) {
          const int step = v[i] > last[i] ? 1 : (v[i] < last[i] ? -1 : 0);
          if (step != 0 && direction[i] == -step) monotonic[i] = false;
          if (step != 0) direction[i] = step;
        }
        last = v;
        haveLast = true;
      }
    }
  }
  return monotonic;
}

void VisitGrid(BoxWalker& walker) {
  constexpr int kSide = 5, kCount = kSide * kSide * kSide * kSide * kSide;
  for (int n = 0; n < kCount; ++n) {
    BoxPoint x;
    for (std::size_t i = 0, digits = static_cast<std::size_t>(n); i < kResistors; ++i) {
      x[i] = -1.0 + 0.5 * static_cast<double>(digits % kSide);
      digits /= kSide;
    }
    BoxValues v;
    walker.Eval(x, v);
  }
}

// Compass search for the extreme of one figure from `start`: tries a step
// either way along each axis, moves on any improvement, halves the step when
// nothing improves.
void CompassSearch(BoxWalker& walker, BoxPoint x, double fx, std::size_t figure, bool seekMax) {
  constexpr double kSmallestStep = 1.0 / (1 << 30);
  constexpr int kMaxEvaluations = 4000;
  double step = 0.25;
  for (int evaluations = 0; step >= kSmallestStep && evaluations < kMaxEvaluations;) {
    bool moved = false;
    for (std::size_t axis = 0; axis < kResistors; ++axis) {
      for (double sign : {-1.0, 1.0}) {
        BoxPoint y = x;
        y[axis] = std::clamp(x[axis] + sign * step, -1.0, 1.0);
        if (y[axis] == x[axis]) continue;
        BoxValues v;
        ++evaluations;
        if (walker.Eval(y, v) && Better(v[figure], fx, seekMax)) {
          x = y;
          fx = v[figure];
          moved = true;
        }
      }
    }
    if (!moved) step *= 0.5;
  }
}

// Starts a compass search from each of the best few points seen so far.
void SearchFigure(BoxWalker& walker, std::size_t figure, bool seekMax) {
  constexpr std::size_t kStarts = 4;
  std::vector<std::pair<BoxPoint, BoxValues>> starts = walker.kept();
  const std::size_t count = std::min(kStarts, starts.size());
  std::partial_sort(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(count), starts.end(),
                    [&](const auto& a, const auto& b) { return Better(a.second[figure], b.second[figure], seekMax); });
  for (std::size_t s = 0; s < count; ++s) {
    CompassSearch(walker, starts[s].first, starts[s].second[figure], figure, seekMax);
  }
}

constexpr std::array<double, 2> kQuantiles{0.01, 0.99};
constexpr Spread kNoSpread{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};

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
  // which Finish reports.
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
  void Append(Gathered&& later) {
    if (later.n == 0) return;
    min = n == 0 || later.min < min ? later.min : min;
    max = n == 0 || later.max > max ? later.max : max;
    n += later.n;
    sum += later.sum;
    squares += later.squares;
    for (std::size_t k = 0; k < 2; ++k) {
      below[k] += later.below[k];
      inside[k].insert(inside[k].end(), later.inside[k].begin(), later.inside[k].end());
    }
  }

  // A copy with the pivot and the brackets, and nothing gathered.
  Gathered Empty() const {
    Gathered g;
    g.pivot = pivot;
    g.lo = lo;
    g.hi = hi;
    return g;
  }
};

// Pivot and brackets for values of which `sample` (reordered) is an even
// sample: each bracket spans the sample's quantile widened by `sigmas`
// standard deviations of its rank, and as many places.
void SetBrackets(Gathered& g, std::vector<double>& sample, double sigmas) {
  g.pivot = sample.front();
  const double m = static_cast<double>(sample.size());
  const auto pick = [&](double r) {
    const auto it = sample.begin() + static_cast<std::ptrdiff_t>(std::clamp(r, 0.0, m - 1.0));
    std::nth_element(sample.begin(), it, sample.end());
    return *it;
  };
  for (std::size_t k = 0; k < 2; ++k) {
    const double p = kQuantiles[k], margin = sigmas * (std::sqrt(m * p * (1.0 - p)) + 1.0);
    g.lo[k] = pick((m - 1.0) * p - margin);
    g.hi[k] = pick((m - 1.0) * p + margin);
  }
}

// Brackets that hold every value.
void OpenBrackets(Gathered& g) {
  g.lo.fill(-std::numeric_limits<double>::infinity());
  g.hi.fill(std::numeric_limits<double>::infinity());
}

// The spread of what was gathered, or nothing when a quantile's order
// statistics (those around (n - 1) p, interpolated linearly) are not
// inside its bracket. Throws FloatingPointError (Overflow) when the sums
// left the range of doubles.
std::optional<Spread> Finish(Gathered& g) {
  if (g.n == 0) return kNoSpread;
  if (!std::isfinite(g.sum) || !std::isfinite(g.squares)) common::RaiseFault(common::FpFault::Overflow);
  Spread s;
  const double n = static_cast<double>(g.n);
  s.min = g.min;
  s.max = g.max;
  s.mean = (Checked(g.pivot) + Checked(g.sum) / n).value();
  const Checked variance = g.n > 1 ? (Checked(g.squares) - Checked(g.sum) * g.sum / n) / (n - 1.0) : Checked(0.0);
  s.sd = std::sqrt(std::max(variance.value(), 0.0));
  std::array<double, 2> q{};
  for (std::size_t k = 0; k < 2; ++k) {
    const double h = (n - 1.0) * kQuantiles[k];
    const auto rank = static_cast<std::uint64_t>(h);
    const double frac = h - static_cast<double>(rank);
    std::vector<double>& in = g.inside[k];
    if (rank < g.below[k] || rank - g.below[k] >= in.size()) return std::nullopt;
    const auto it = in.begin() + static_cast<std::ptrdiff_t>(rank - g.below[k]);
    std::nth_element(in.begin(), it, in.end());
    q[k] = *it;
    if (frac == 0.0) continue;
    if (it + 1 == in.end()) return std::nullopt;
    q[k] = (Checked(*it) + Checked(frac) * (Checked(*std::min_element(it + 1, in.end())) - *it)).value();
  }
  s.p01 = q[0];
  s.p99 = q[1];
  return s;
}

// EvaluateCircuit in a state whose numbers it overwrites (the Monte Carlo
// loop keeps one instead of clearing a new one for every sample).
bool Evaluate(const Circuit& circuit, const std::array<double, kResistors>& factors, DesignState& s,
              Figures& out) noexcept {
  try {
    s.Zo = circuit.Zo;
    s.R1 = (Checked(circuit.R[0]) * factors[0]).value();
    s.R2 = (Checked(circuit.R[1]) * factors[1]).value();
    s.R3 = (Checked(circuit.R[2]) * factors[2]).value();
    s.R4 = (Checked(circuit.R[3]) * factors[3]).value();
    s.R5 = (Checked(circuit.R[4]) * factors[4]).value();
    main::StoreAchievedValues(s);
    if (!(s.Zor > 0.0) || !std::isfinite(s.Zor)) return false;
    out.Zo = s.Zor;
    out.Gain = s.Gainr;
    out.GainDb = main::GainDb(s.Gainr);
    out.Zio = s.Zio;
    out.Eta = s.Decr;
    return true;
  } catch (const common::FloatingPointError&) {
    return false;
  }
}

// Calls runBlock(b) for every b below `blocks`, on up to `threads` threads
// (0: the machine's hardware threads, at most 8), each taking the next
// block not yet taken. Falls back to fewer threads when one cannot start.
template <typename Run>
void RunBlocks(std::uint64_t blocks, unsigned threads, Run& runBlock) {
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::atomic<std::uint64_t> next{0};
  auto worker = [&] {
    for (std::uint64_t b = next++; b < blocks; b = next++) runBlock(b);
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads && t < blocks; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
}

}  // namespace

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

Circuit CircuitOf(const DesignState& state) {
  return {state.Zo, {state.R1, state.R2, state.R3, state.R4, state.R5}};
}


double CustomaryTolerancePct(std::int32_t ER) {
  switch (ER) {
    case 3:
    case 6: return 20.0;
    case 12: return 10.0;
    case 24: return 5.0;
    case 48: return 2.0;
    case 96: return 1.0;
    case 192: return 0.5;
    default: return 1.0;
  }
}

bool EvaluateCircuit(const Circuit& circuit, const std::array<double, kResistors>& factors,
                     Figures& out) noexcept {
  DesignState state;
  return Evaluate(circuit, factors, state, out);
}

BoxExtremes SearchBox(const BoxFunction& f) {
  BoxExtremes r;
  BoxWalker walker(f, r);
  VisitCorners(walker, r);
  const std::array<bool, kFigures> monotonic = CheckMonotonic(walker);
  r.cornersSuffice = monotonic;
  if (std::all_of(monotonic.begin(), monotonic.end(), [](bool m) { return m; })) return r;
  VisitGrid(walker);
  for (std::size_t i = 0; i < kFigures; ++i) {
    if (monotonic[i]) continue;
    SearchFigure(walker, i, false);
    SearchFigure(walker, i, true);
  }
  return r;
}

BoxExtremes WorstCase(const Circuit& circuit, double pct) {
  const double fraction = pct / 100.0;
  return SearchBox([&](const BoxPoint& x, BoxValues& v) {
    std::array<double, kResistors> factors;
    for (std::size_t i = 0; i < kResistors; ++i) factors[i] = Factor(fraction, x[i]);
    Figures figures;
    if (!EvaluateCircuit(circuit, factors, figures)) return false;
    v = figures.spread();
    return true;
  });
}

Spread SpreadOf(std::span<const double> v) {
  if (v.empty()) return kNoSpread;
  std::vector<double> sample;
  for (std::size_t i = 0, stride = std::max<std::size_t>(1, v.size() / 4096); i < v.size(); i += stride) {
    sample.push_back(v[i]);
  }
  Gathered g;
  SetBrackets(g, sample, 4.0);
  g.pivot = v[0];
  for (double x : v) g.Add(x);
  if (std::optional<Spread> s = Finish(g)) return *s;
  OpenBrackets(g);
  Gathered all = g.Empty();
  for (double x : v) all.Add(x);
  return *Finish(all);
}

namespace {

// The Monte Carlo draws: block b of kSamplesPerBlock samples starts from
// its own generator state.
struct Sampler {
  const Circuit& circuit;
  double scale = 0;  // of a draw: pct/100 for uniform, pct/300 for normal
  bool uniform = true;
  std::uint64_t samples = 0;
  std::vector<Random> starts;  // one per block

  Sampler(const Circuit& c, double pct, Distribution distribution, std::uint64_t n, std::uint64_t seed)
      : circuit(c), scale(distribution == Distribution::Uniform ? pct / 100.0 : pct / 300.0),
        uniform(distribution == Distribution::Uniform), samples(n) {
    const std::uint64_t blocks = (samples + kSamplesPerBlock - 1) / kSamplesPerBlock;
    starts.reserve(static_cast<std::size_t>(blocks));
    for (Random random(seed); starts.size() < blocks; random.Jump()) starts.push_back(random);
  }

  std::uint64_t blocks() const { return starts.size(); }

  // Hands the figures of each good sample of block b to keep(spread);
  // returns how many samples were good. Stops early, with a meaningless
  // count, once `control` is cancelled.
  template <typename Keep>
  std::uint64_t Block(std::uint64_t b, Keep&& keep, RunControl* control) const {
    Random random = starts[static_cast<std::size_t>(b)];
    const std::uint64_t begin = b * kSamplesPerBlock, end = std::min(samples, begin + kSamplesPerBlock);
    std::uint64_t good = 0;
    std::array<double, kResistors> factors;
    DesignState state;
    constexpr std::uint64_t kReportEvery = 4096;
    for (std::uint64_t n = begin; n < end; ++n) {
      if (control != nullptr && (n - begin) % kReportEvery == 0 && n != begin) {
        control->done += kReportEvery;
        if (control->cancel) return good;
      }
      for (double& factor : factors) factor = Factor(scale, uniform ? random.Symmetric() : random.Normal());
      Figures figures;
      if (!Evaluate(circuit, factors, state, figures)) continue;
      keep(figures.spread());
      ++good;
    }
    if (control != nullptr) control->done += (end - begin) - ((end - begin - 1) / kReportEvery) * kReportEvery;
    return good;
  }
};

// Counts one good sample's figures as `plan` asks.
void CountSample(const CountPlan& plan, const std::array<double, kFigures>& v, SampleCounts& counts) {
  const double zo = v[static_cast<std::size_t>(Figure::Zo)], gain = v[static_cast<std::size_t>(Figure::GainDb)];
  if (plan.zo.Contains(zo) && plan.gainDb.Contains(gain)) ++counts.accepted;
  counts.zo.Add(plan.zoBins, zo);
  counts.gainDb.Add(plan.gainBins, gain);
}

SampleCounts EmptyCounts(const CountPlan* plan) {
  SampleCounts c;
  if (plan == nullptr) return c;
  c.zoBins = plan->zoBins;
  c.gainBins = plan->gainBins;
  c.zo.bins.assign(plan->zoBins.count, 0);
  c.gainDb.bins.assign(plan->gainBins.count, 0);
  return c;
}

// Bins fitted to `values` as CountPlan::fitBins describes; `given` when
// there are none.
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

// Every figure gathered over all blocks, on up to `threads` threads, each
// block with its own part; the parts are joined in block order. With a
// `plan`, the samples are counted into `counts` as well.
std::array<Gathered, kFigures> GatherAll(const Sampler& sampler, const std::array<Gathered, kFigures>& proto,
                                         std::uint64_t firstBlock, unsigned threads, std::uint64_t& good,
                                         const CountPlan* plan, SampleCounts& counts, RunControl* control) {
  const std::uint64_t count = sampler.blocks() - firstBlock;
  std::vector<std::array<Gathered, kFigures>> parts(static_cast<std::size_t>(count));
  std::vector<SampleCounts> partCounts(static_cast<std::size_t>(count), EmptyCounts(plan));
  std::vector<std::uint64_t> goods(static_cast<std::size_t>(count));
  auto runBlock = [&](std::uint64_t i) {
    std::array<Gathered, kFigures>& part = parts[static_cast<std::size_t>(i)];
    SampleCounts& partCount = partCounts[static_cast<std::size_t>(i)];
    for (std::size_t f = 0; f < kFigures; ++f) part[f] = proto[f].Empty();
    if (control != nullptr && control->cancel) return;
    goods[static_cast<std::size_t>(i)] = sampler.Block(
        firstBlock + i,
        [&](const std::array<double, kFigures>& v) {
          for (std::size_t f = 0; f < kFigures; ++f) part[f].Add(v[f]);
          if (plan != nullptr) CountSample(*plan, v, partCount);
        },
        control);
  };
  RunBlocks(count, threads, runBlock);
  std::array<Gathered, kFigures> total;
  for (std::size_t f = 0; f < kFigures; ++f) total[f] = proto[f].Empty();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    good += goods[i];
    for (std::size_t f = 0; f < kFigures; ++f) total[f].Append(std::move(parts[i][f]));
    counts.accepted += partCounts[i].accepted;
    counts.zo.Append(partCounts[i].zo);
    counts.gainDb.Append(partCounts[i].gainDb);
  }
  return total;
}

}  // namespace

MonteCarloResult MonteCarlo(const Circuit& circuit, double pct, Distribution distribution,
                            std::uint64_t samples, std::uint64_t seed, unsigned threads,
                            const CountPlan* plan, RunControl* control) {
  const Sampler sampler(circuit, pct, distribution, samples, seed);
  MonteCarloResult result;
  result.samples = samples;
  result.counts = EmptyCounts(plan);
  if (samples == 0) {
    result.figures.fill(kNoSpread);
    return result;
  }
  auto cancelled = [&] { return control != nullptr && control->cancel; };
  // The first block is kept whole: it sets the pivots and the brackets.
  std::array<std::vector<double>, kFigures> first;
  std::uint64_t good = sampler.Block(
      0,
      [&](const std::array<double, kFigures>& v) {
        for (std::size_t f = 0; f < kFigures; ++f) first[f].push_back(v[f]);
      },
      control);
  if (cancelled()) {
    result.cancelled = true;
    return result;
  }
  // The bins are settled from the first block, then it is counted.
  CountPlan fitted;
  if (plan != nullptr) {
    fitted = *plan;
    constexpr auto zo = static_cast<std::size_t>(Figure::Zo), gain = static_cast<std::size_t>(Figure::GainDb);
    if (plan->fitBins) {
      fitted.zoBins = FitBins(first[zo], plan->zoBins);
      fitted.gainBins = FitBins(first[gain], plan->gainBins);
    }
    plan = &fitted;
    result.counts = EmptyCounts(plan);
    for (std::size_t i = 0; i < first[0].size(); ++i)
      CountSample(fitted, {first[0][i], first[1][i], first[2][i], first[3][i]}, result.counts);
  }
  constexpr std::uint64_t kEnoughToBracket = 1000;
  std::array<Gathered, kFigures> proto, total;
  for (std::size_t f = 0; f < kFigures; ++f) {
    std::vector<double> sample = first[f];
    if (good >= kEnoughToBracket) SetBrackets(proto[f], sample, 8.0);
    else OpenBrackets(proto[f]);
    proto[f].pivot = good > 0 ? first[f][0] : 0.0;
    total[f] = proto[f].Empty();
    for (double x : first[f]) total[f].Add(x);
  }
  if (sampler.blocks() > 1) {
    std::array<Gathered, kFigures> rest = GatherAll(sampler, proto, 1, threads, good, plan, result.counts, control);
    for (std::size_t f = 0; f < kFigures; ++f) total[f].Append(std::move(rest[f]));
  }
  if (cancelled()) {
    result.cancelled = true;
    return result;
  }
  result.bad = samples - good;
  std::array<bool, kFigures> missed{};
  for (std::size_t f = 0; f < kFigures; ++f) {
    const std::optional<Spread> s = Finish(total[f]);
    if (s) result.figures[f] = *s;
    missed[f] = !s;
  }
  if (std::none_of(missed.begin(), missed.end(), [](bool m) { return m; })) return result;
  // A bracket missed its quantile: gather everything again with open brackets.
  for (Gathered& g : proto) OpenBrackets(g);
  std::uint64_t ignored = 0;
  SampleCounts counted = EmptyCounts(nullptr);  // the first pass counted already
  std::array<Gathered, kFigures> all = GatherAll(sampler, proto, 0, threads, ignored, nullptr, counted, nullptr);
  for (std::size_t f = 0; f < kFigures; ++f) {
    if (missed[f]) result.figures[f] = *Finish(all[f]);
  }
  return result;
}

Sensitivity SensitivityOf(const Circuit& circuit) {
  Sensitivity s;
  s.zoPct.fill(kNaN);
  s.gainPct.fill(kNaN);
  Figures base;
  if (!EvaluateCircuit(circuit, kUnit, base)) return s;
  for (std::size_t i = 0; i < kResistors; ++i) {
    std::array<double, kResistors> factors = kUnit;
    factors[i] = 1.01;
    Figures moved;
    if (!EvaluateCircuit(circuit, factors, moved)) continue;
    try {
      s.zoPct[i] = ((Checked(moved.Zo) / base.Zo - 1.0) * 100.0).value();
      s.gainPct[i] = ((Checked(moved.Gain) / base.Gain - 1.0) * 100.0).value();
    } catch (const common::FloatingPointError&) {
      s.zoPct[i] = s.gainPct[i] = kNaN;
    }
  }
  return s;
}

}  // namespace velmora::explore
