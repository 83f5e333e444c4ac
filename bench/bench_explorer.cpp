// The design explorer's tolerance analysis: Monte Carlo samples through the
// engine's own StoreAchievedValues, and the worst-case search.
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF
//   cmake --build build/bench --target velmora_bench_explorer && build/bench/velmora_bench_explorer
#include <benchmark/benchmark.h>

#include "explore/random.h"
#include "main/design.h"
#include "explore/tolerance_analysis.h"

namespace {

using namespace velmora;

explore::Circuit DefaultCircuit() {
  main::DesignState s;
  main::SolveDesign(0.0, 600, 10000, 10000, 68, 24, s);
  return explore::CircuitOf(s);
}

// A million samples, statistics included; arg 0 uniform, 1 normal.
void MonteCarloMillion(benchmark::State& state) {
  const explore::Circuit circuit = DefaultCircuit();
  const auto distribution = state.range(0) == 0 ? explore::Distribution::Uniform : explore::Distribution::Normal;
  for (auto _ : state) {
    benchmark::DoNotOptimize(explore::MonteCarlo(circuit, 5.0, distribution, 1000000, 1));
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(MonteCarloMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the explorer window's tolerance page computes for 100,000 samples:
// the worst case, the Monte Carlo run with its yield counts and histogram
// bins, and the sensitivity; arg 0 uniform, 1 normal.
void ToleranceHundredThousand(benchmark::State& state) {
  main::DesignState s;
  main::SolveDesign(0.0, 600, 10000, 10000, 68, 24, s);
  explore::ToleranceSettings settings;
  settings.pct = 5.0;
  settings.samples = 100000;
  settings.distribution = state.range(0) == 0 ? explore::Distribution::Uniform : explore::Distribution::Normal;
  for (auto _ : state) benchmark::DoNotOptimize(explore::AnalyseTolerance(s, settings));
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(ToleranceHundredThousand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void OneSample(benchmark::State& state) {
  const explore::Circuit circuit = DefaultCircuit();
  const std::array<double, explore::kResistors> factors{1.01, 0.99, 1.02, 0.98, 1.0};
  explore::Figures figures;
  for (auto _ : state) benchmark::DoNotOptimize(explore::EvaluateCircuit(circuit, factors, figures));
}
BENCHMARK(OneSample);

void NormalDraw(benchmark::State& state) {
  explore::Random random(1);
  for (auto _ : state) benchmark::DoNotOptimize(random.Normal());
}
BENCHMARK(NormalDraw);

void WorstCase(benchmark::State& state) {
  const explore::Circuit circuit = DefaultCircuit();
  const double pct = static_cast<double>(state.range(0));  // 20 % in series 24 reaches instability
  for (auto _ : state) benchmark::DoNotOptimize(explore::WorstCase(circuit, pct));
}
BENCHMARK(WorstCase)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
