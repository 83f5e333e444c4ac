// One calculation as the window does it, and its pieces.
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF
//   cmake --build build/bench --target velmora_bench && build/bench/velmora_bench
#include <benchmark/benchmark.h>

#include "common/numtext.h"
#include "common/series.h"
#include "main/design.h"
#include "main/report.h"
#include "main/series_text.h"

namespace {

using namespace velmora;

main::ReportSource Window() { return main::InitialWindowTexts(); }

void WholeCalculation(benchmark::State& state) {
  main::ReportSource window = Window();
  const std::u16string series = u"24";
  main::DesignState design;
  for (auto _ : state) {
    design.ER = main::StrToIntOrZero(series);
    const double gain = common::StrToValue(window.EditGain), zo = common::StrToValue(window.EditZo),
                 r1 = common::StrToValue(window.EditR1), r3 = common::StrToValue(window.EditR3),
                 r5 = common::StrToValue(window.EditR5);
    main::SolveDesign(gain, zo, r1, r3, r5, design.ER, design);
    main::PutResults(window, main::ComposeResults(design));
    std::u16string report = main::MakeReport(window);
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(WholeCalculation);

void FiveStrToValue(benchmark::State& state) {
  const main::ReportSource w = Window();
  for (auto _ : state) {
    benchmark::DoNotOptimize(common::StrToValue(w.EditGain) + common::StrToValue(w.EditZo) +
                             common::StrToValue(w.EditR1) + common::StrToValue(w.EditR3) +
                             common::StrToValue(w.EditR5));
  }
}
BENCHMARK(FiveStrToValue);

void SolveDesignSeries(benchmark::State& state) {
  main::DesignState design;
  const auto er = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(main::SolveDesign(0.0, 600, 10000, 10000, 68, er, design));
  }
}
BENCHMARK(SolveDesignSeries)->Arg(0)->Arg(24)->Arg(192);

void RoundToSeries24(benchmark::State& state) {
  double x = 2266.6666666666665;
  for (auto _ : state) benchmark::DoNotOptimize(common::RoundToSeries(x, 24));
}
BENCHMARK(RoundToSeries24);

void SixResultTexts(benchmark::State& state) {
  main::DesignState design;
  main::SolveDesign(0.0, 600, 10000, 10000, 68, 24, design);
  for (auto _ : state) benchmark::DoNotOptimize(main::ComposeResults(design));
}
BENCHMARK(SixResultTexts);

void Report(benchmark::State& state) {
  main::ReportSource window = Window();
  main::DesignState design;
  main::SolveDesign(0.0, 600, 10000, 10000, 68, 24, design);
  main::PutResults(window, main::ComposeResults(design));
  for (auto _ : state) benchmark::DoNotOptimize(main::MakeReport(window));
}
BENCHMARK(Report);

}  // namespace

BENCHMARK_MAIN();
