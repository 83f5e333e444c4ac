#include "explore/monte_carlo.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "explore/random.h"

namespace velmora::explore {
namespace {

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
    Factors factors;
    DesignState state;
    constexpr std::uint64_t kReportEvery = 4096;
    for (std::uint64_t n = begin; n < end; ++n) {
      if (control != nullptr && (n - begin) % kReportEvery == 0 && n != begin) {
        control->done += kReportEvery;
        if (control->cancel) return good;
      }
      for (double& factor : factors) factor = Factor(scale, uniform ? random.Symmetric() : random.Normal());
      Figures figures;
      if (!EvaluateCircuit(circuit, factors, state, figures)) continue;
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

}  // namespace velmora::explore
