// The frequency analysis: what the window would compute on each keystroke.
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF
//   cmake --build build/bench --target velmora_bench_response && build/bench/velmora_bench_response
#include <benchmark/benchmark.h>

#include "main/design.h"
#include "response/analysis.h"
#include "response/opamp.h"

namespace {

using namespace velmora;

// Arg 0: the default design (Zo 600, E24) with an NE5532; arg 1: the stage
// near its limit (R5 3 ohm, no series) with a TL072 and 10 nF of cable.
void DefaultSweep(benchmark::State& state) {
  main::DesignState s;
  const bool near = state.range(0) == 1;
  main::SolveDesign(0.0, 600, 10e3, 10e3, near ? 3 : 68, near ? 0 : 24, s);
  const response::OpAmp op = *response::FindPreset(near ? "TL072" : "NE5532");
  response::FrequencySettings settings;
  settings.cload = near ? 10e-9 : 0.0;
  for (auto _ : state) benchmark::DoNotOptimize(response::AnalyseFrequency(s, op, settings));
}
BENCHMARK(DefaultSweep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The parts: the 121 points alone, the bandwidths, one load's stability,
// the noise integral (both builds).
void Parts(benchmark::State& state) {
  main::DesignState s;
  main::SolveDesign(0.0, 600, 10e3, 10e3, 68, 24, s);
  const response::OpAmp op = *response::FindPreset("NE5532");
  const response::Network n = response::Network::Designed(s, op), plain = response::Network::Plain(s, op);
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        for (double f : response::SweepFrequencies({})) benchmark::DoNotOptimize(response::Solve(n, f));
        break;
      case 1: benchmark::DoNotOptimize(response::BandwidthOf(n, 600, 0)); break;
      case 2: benchmark::DoNotOptimize(response::AnalyseStability(n, response::LoadCase::Zo, 600, 0)); break;
      default: benchmark::DoNotOptimize(response::NoiseOf(n, plain, op, 600, 0, 25)); break;
    }
  }
}
BENCHMARK(Parts)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
