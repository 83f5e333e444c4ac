// The analysis's figures: the ideal op-amp gives the report's, a real one
// the figures ngspice measured, and each search finds what its definition
// asks for.
#include "response/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "common/fp_error.h"
#include "fp_testing.h"
#include "main/design.h"

namespace velmora::response {
namespace {

using velmora::testing::FaultOf;

main::DesignState Designed(double gainDb, double zo, double r1, double r3, double r5, std::int32_t er) {
  main::DesignState s;
  EXPECT_EQ(main::SolveDesign(gainDb, zo, r1, r3, r5, er, s), main::DesignOutcome::Success);
  return s;
}

// The window's initial design: R2 2.4k, R4 3.9k.
main::DesignState DefaultDesign() { return Designed(0.0, 600, 10e3, 10e3, 68, 24); }

// Zo 600, R5 3, no series: R2 100, R4 147.74, Zo / R5 = 200.
main::DesignState NearLimitDesign() { return Designed(0.0, 600, 10e3, 10e3, 3, 0); }

OpAmp SinglePole(double a0Db, double gbw) {
  OpAmp op;
  op.name = "custom";
  op.a0Db = a0Db;
  op.gbw = gbw;
  return op;
}

double Relative(double a, double b) { return std::abs(a - b) / std::abs(b); }

// Every successful design of a grid that reaches Zo / R5 = 1000: the ideal
// op-amp's DC figures are the report's, and so are those of "ideal".
TEST(Analysis, IdealOpAmpGivesTheReportsFigures) {
  int designs = 0;
  for (double zo : {8.0, 50.0, 600.0, 2e3, 10e3}) {
    for (double gain : {-20.0, -6.0, 0.0, 6.0, 20.0, 40.0}) {
      for (double ratio : {1.6, 12.0, 120.0, 1000.0}) {
        for (std::int32_t er : {0, 24, 96}) {
          main::DesignState s;
          if (main::SolveDesign(gain, zo, 10e3, std::max(10e3, 3 * zo), zo / ratio, er, s) !=
                  main::DesignOutcome::Success ||
              NonPositiveResistor(s) || s.Zor <= 0)
            continue;
          ++designs;
          FrequencySettings settings;
          settings.fmin = 1e3;
          settings.fmax = 1e4;
          const FrequencyReport r = AnalyseFrequency(s, *FindPreset("ideal"), settings);
          for (const DcFigures& d : {r.dc, r.ideal}) {
            EXPECT_LE(Relative(d.zo, s.Zor), 1e-9) << zo << " " << gain << " " << ratio << " " << er;
            EXPECT_LE(std::abs(d.gainDb - main::GainDb(s.Gainr)), 20 / std::log(10.0) * 1e-9);
            EXPECT_LE(Relative(d.zio, s.Zio), 1e-9);
            EXPECT_LE(Relative(d.eta, s.Decr), 1e-9);
          }
          for (const SweepPoint& p : r.points) EXPECT_LE(Relative(p.zo, s.Zor), 1e-9);  // no frequency dependence
        }
      }
    }
  }
  EXPECT_GT(designs, 200);
}

// The default stage with A0 = 100 dB, GBW = 10 MHz: ngspice's figures
// (|Zo| 602.7467 at 1 kHz, 599.15 at 100 kHz, 407.6448 at 1 MHz, phase
// -0.7116 rad; output noise at 1 kHz 48.67211 nV/rtHz from the resistors,
// 57.40205 with en 5 nV, in 0.7 pA).
TEST(Analysis, DefaultStageMatchesTheSimulator) {
  FrequencySettings settings;
  settings.fmin = 1e3;
  settings.fmax = 1e6;
  settings.perDecade = 1;
  OpAmp op = SinglePole(100, 10e6);
  const FrequencyReport r = AnalyseFrequency(DefaultDesign(), op, settings);
  ASSERT_EQ(r.points.size(), 4u);
  EXPECT_NEAR(r.points[0].zo, 602.7467, 1e-4);
  EXPECT_NEAR(r.points[2].zo, 599.15, 1e-2);
  EXPECT_NEAR(r.points[3].zo, 407.6448, 1e-4);
  EXPECT_NEAR(r.points[3].zoDeg, -0.7116 * 180 / 3.141592653589793, 1e-2);
  EXPECT_LE(Relative(r.noise.outDensity1k, 4.867211e-08), 1e-6);
  op.en = 5e-9;
  op.in = 0.7e-12;
  EXPECT_LE(Relative(AnalyseFrequency(DefaultDesign(), op, settings).noise.outDensity1k, 5.740205e-08), 1e-6);
}

// The stage near its limit with a TL072-like part: |Zo| 0.2 % low at 1 kHz,
// 5 % at 5 kHz, 40 % at 20 kHz, the gain -1.6 dB at 20 kHz, about
// 1.8 uV/rtHz at 1 kHz, and the +-1 % band ending inside the audio band.
TEST(Analysis, NearLimitStageLosesItsZoInTheAudioBand) {
  FrequencySettings settings;
  settings.fmin = 1e3;
  settings.fmax = 20e3;
  OpAmp op = SinglePole(106, 3e6);
  op.en = 18e-9;
  op.in = 0.01e-12;
  const FrequencyReport r = AnalyseFrequency(NearLimitDesign(), op, settings);
  const auto at = [&r](double f) {
    for (const SweepPoint& p : r.points) {
      if (std::abs(p.f / f - 1) < 1e-12) return p;
    }
    ADD_FAILURE() << "no point at " << f;
    return SweepPoint{};
  };
  EXPECT_NEAR(at(1e3).zo / r.dc.zo - 1, -0.002, 0.0005);
  EXPECT_NEAR(at(20e3).zo / r.dc.zo - 1, -0.40, 0.01);
  EXPECT_NEAR(at(20e3).gainDb - r.dc.gainDb, -1.6, 0.05);
  EXPECT_NEAR(r.noise.outDensity1k, 1.8e-6, 0.05e-6);
  EXPECT_LT(r.bandwidth.zo1pct, 20e3);
  EXPECT_LT(r.bandwidth.zo1pct, r.bandwidth.zo10pct);
}

// fmin 10^(i/N) below fmax, then fmax; whole decades exact.
TEST(Analysis, SweepFrequencies) {
  const std::vector<double> f = SweepFrequencies({});
  ASSERT_EQ(f.size(), 121u);
  for (std::size_t d = 0; d <= 6; ++d) EXPECT_EQ(f[20 * d], 10 * std::pow(10.0, static_cast<double>(d)));
  for (std::size_t i = 1; i < f.size(); ++i) EXPECT_NEAR(f[i] / f[i - 1], std::pow(10.0, 0.05), 1e-13);
  const std::vector<double> odd = SweepFrequencies({.fmin = 20, .fmax = 25e3, .perDecade = 3});
  ASSERT_EQ(odd.size(), 11u);  // 20 ... 20k is 10 points, 20k 10^(1/3) passes 25k: fmax ends it
  EXPECT_EQ(odd.back(), 25e3);
  EXPECT_EQ(odd[9], 20e3);
  EXPECT_TRUE(SweepFrequencies({.fmin = 10, .fmax = 10}).empty());
  EXPECT_TRUE(SweepFrequencies({.fmin = 0, .fmax = 10}).empty());
  EXPECT_TRUE(SweepFrequencies({.fmin = 1, .fmax = 10, .perDecade = 0}).empty());
}

// Each band edge holds up to its frequency and fails just above, and a
// fine walk from far below finds no earlier failure.
TEST(Analysis, BandEdgesAreTheFirstFailures) {
  OpAmp op = SinglePole(106, 3e6);
  op.f2 = 20e6;
  op.ro = 50;
  for (const main::DesignState& s : {DefaultDesign(), NearLimitDesign()}) {
    const Network n = Network::Designed(s, op);
    const double cload = 10e-9;
    const Bandwidth b = BandwidthOf(n, s.Zo, cload);
    const double z0 = std::abs(OutputImpedance(Solve(n, 0)));
    const auto zoWithin = [&](double tol) {
      return [&, tol](double f) { return std::abs(std::abs(OutputImpedance(Solve(n, f))) / z0 - 1) <= tol; };
    };
    const Load load{1 / s.Zo, cload, false};
    const double g0 = std::abs(GainInto(n, Solve(n, 0), load));
    const auto gainAbove = [&](double f) { return std::abs(GainInto(n, Solve(n, f), load)) >= g0 / std::sqrt(2.0); };
    const std::pair<double, std::function<bool(double)>> edges[] = {
        {b.zo1pct, zoWithin(0.01)}, {b.zo10pct, zoWithin(0.10)}, {b.gain3db, gainAbove}};
    for (const auto& [edge, inside] : edges) {
      ASSERT_TRUE(std::isfinite(edge));
      EXPECT_TRUE(inside(edge));
      EXPECT_FALSE(inside(edge * (1 + 1e-9)));
      for (double f = edge * 1e-4; f < edge; f *= 1.001) ASSERT_TRUE(inside(f)) << f << " below " << edge;
    }
  }
  // An ideal op-amp keeps Zo at every frequency: no edge.
  const Bandwidth ideal = BandwidthOf(Network::Designed(DefaultDesign(), OpAmp{}), 600, 0);
  EXPECT_TRUE(std::isnan(ideal.zo1pct));
  EXPECT_TRUE(std::isnan(ideal.gain3db));
}

// The output level at 1 kHz: the swing sets it at eta Vmax; a small current
// limit sets it at Imax over the pin's current; the plain build's divider
// halves its swing.
TEST(Analysis, DriveLevels) {
  const main::DesignState s = DefaultDesign();
  OpAmp op;
  op.vmax = 10;
  const Network stage = Network::Designed(s, op), plain = Network::Plain(s, op);
  Drive d = DriveOf(stage, plain, op, s.Zo, 0);
  EXPECT_EQ(d.limit, DriveLimit::Swing);
  EXPECT_NEAR(d.level, 10 * s.Decr, 1e-12);
  EXPECT_NEAR(d.plainLevel, 5, 1e-12);
  EXPECT_NEAR(d.headroomDb, 20 * std::log10(2 * s.Decr), 1e-12);
  EXPECT_NEAR(d.levelDbu, 20 * std::log10(10 * s.Decr / std::sqrt(2.0) / std::sqrt(0.6)), 1e-12);
  // At the input that gives it, a shorted Out takes the pin's whole swing through R5.
  EXPECT_NEAR(d.shortCurrent, d.level / s.Gainr * (s.R2 / s.R1) / s.R5, 1e-9);

  op.imax = 1e-3;  // the pin's current per volt at Out: through R5 and the R3 + R4 || Zo side, and into R2
  d = DriveOf(Network::Designed(s, op), Network::Plain(s, op), op, s.Zo, 0);
  EXPECT_EQ(d.limit, DriveLimit::Current);
  const double pin = d.level / s.Decr;
  const double current = (pin - d.level) / s.R5 + (pin + d.level / s.Gainr) / (s.R1 + s.R2);
  EXPECT_NEAR(current, 1e-3, 1e-12);
  EXPECT_EQ(d.plainLimit, DriveLimit::Current);

  const Drive unlimited = DriveOf(Network::Designed(s, OpAmp{}), Network::Plain(s, OpAmp{}), OpAmp{}, s.Zo, 0);
  EXPECT_EQ(unlimited.limit, DriveLimit::None);
  EXPECT_TRUE(std::isnan(unlimited.level));
}

// The noise integral against a brute-force sum over 20000 points, and the
// plain build's noise against its textbook form.
TEST(Analysis, NoiseIntegralAndPlainBuild) {
  OpAmp op = SinglePole(106, 3e6);
  op.f2 = 5e6;
  op.ro = 30;
  op.en = 18e-9;
  op.in = 1e-12;
  for (const main::DesignState& s : {DefaultDesign(), NearLimitDesign()}) {
    const Network stage = Network::Designed(s, op), plain = Network::Plain(s, op);
    const NoiseFigures nf = NoiseOf(stage, plain, op, s.Zo, 4.7e-9, 25);
    const Load load{1 / s.Zo, 4.7e-9, false};
    const double kT4 = FourKT(25);
    double sum = 0, referred = 0;
    const int steps = 20000;
    const double a = std::log(20.0), h = (std::log(20e3) - a) / steps;
    for (int i = 0; i <= steps; ++i) {
      const double f = std::exp(a + i * h), w = (i == 0 || i == steps) ? 0.5 : 1.0;
      const Solution sol = Solve(stage, f);
      double p = 0;
      for (double x : NoiseAt(stage, sol, load, kT4, op.en, op.in)) p += x;
      sum += w * h * f * p;
      referred += w * h * f * p / std::norm(GainInto(stage, sol, load));
    }
    EXPECT_LE(Relative(nf.outRms, std::sqrt(sum)), 1e-7);
    EXPECT_LE(Relative(nf.inRms, std::sqrt(referred)), 1e-7);
    double parts = 0;
    for (double x : nf.power) parts += x;
    EXPECT_LE(Relative(std::sqrt(parts), nf.outRms), 1e-15);
    EXPECT_NEAR(nf.costDb, 20 * std::log10(nf.outRms / nf.plainOutRms), 1e-12);
  }
  // Ideal op-amp, plain build: the pin carries 4kT (R1 (Rf/R1)^2 + Rf) + en^2 (1 + Rf/R1)^2
  // + in^2 Rf^2, halved in voltage by Rs = Zo into Zo, plus Rs's own 4kT Zo/4.
  const main::DesignState s = DefaultDesign();
  OpAmp ideal;
  ideal.en = 4e-9;
  ideal.in = 2e-12;
  const Network plain = Network::Plain(s, ideal);
  const double rf = 2 * s.Gain * s.R1, kT4 = FourKT(40);
  const double pin = kT4 * (s.R1 * (rf / s.R1) * (rf / s.R1) + rf) + 16e-18 * (1 + rf / s.R1) * (1 + rf / s.R1) +
                     4e-24 * rf * rf;
  const NoiseFigures nf = NoiseOf(Network::Designed(s, ideal), plain, ideal, s.Zo, 0, 40);
  EXPECT_LE(Relative(nf.plainOutDensity1k, std::sqrt(pin / 4 + kT4 * s.Zo / 4)), 1e-12);
  EXPECT_LE(Relative(nf.plainOutRms, std::sqrt((pin / 4 + kT4 * s.Zo / 4) * (20e3 - 20))), 1e-12);
}

// A stage exactly at its limit (D = 0: R3 + R4 + R5 = (R2/R1 + 1) R3, every
// ratio exact in binary) has no output impedance: the fault, not an
// infinite figure.
TEST(Analysis, InfiniteFigureIsAFault) {
  main::DesignState s = DefaultDesign();
  s.R1 = 1;
  s.R2 = 3;
  s.R3 = 1;
  s.R4 = 1;
  s.R5 = 2;
  const auto fault = FaultOf([&] { AnalyseFrequency(s, OpAmp{}, {}); });
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(*fault, common::FpFault::Overflow);
}

TEST(Analysis, NonPositiveResistorNamesIt) {
  main::DesignState s = DefaultDesign();
  EXPECT_FALSE(NonPositiveResistor(s).has_value());
  s.R4 = -3;
  EXPECT_STREQ(NonPositiveResistor(s)->name, "R4");
  EXPECT_EQ(NonPositiveResistor(s)->value, -3);
  s.R2 = 0;
  EXPECT_STREQ(NonPositiveResistor(s)->name, "R2");
  s = DefaultDesign();
  s.R5 = std::nan("");
  EXPECT_STREQ(NonPositiveResistor(s)->name, "R5");
}

}  // namespace
}  // namespace velmora::response
