// The closed forms of the stage against the brute-force nodal analysis
// (mna.h), over random circuits, op-amps, loads and frequencies.
#include "response/stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "mna.h"
#include "response/loop.h"

namespace velmora::response {
namespace {

using testing::Cx;
using testing::Mna;
using testing::RefCircuit;
using testing::RefDrive;
using testing::SolveReference;

// |a - b| within `tol` of |b| (or of `scale` where b is tiny).
::testing::AssertionResult Near(Cx a, Cx b, double tol, double scale = 0) {
  const double err = std::abs(a - b), bound = tol * std::max(std::abs(b), scale);
  if (err <= bound) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " against " << b << ": off by " << err << " (bound " << bound << ")";
}

// A random circuit: resistors over six decades, an op-amp with any of its
// parts infinite or absent, a frequency from 1 Hz to 100 MHz.
struct Case {
  main::DesignState state;
  OpAmp op;
  double f = 0, cload = 0;
};

Case RandomCase(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const auto logUniform = [&](double lo, double hi) { return lo * std::pow(hi / lo, u(rng)); };
  Case c;
  c.state.R1 = logUniform(100, 1e6);
  c.state.R2 = logUniform(10, 1e6);
  c.state.R3 = logUniform(100, 1e6);
  c.state.R4 = logUniform(10, 1e6);
  c.state.R5 = logUniform(0.1, 1e4);
  c.state.Zo = logUniform(1, 1e4);
  c.state.Gain = logUniform(0.1, 100);
  c.op.a0Db = u(rng) < 0.2 ? kInfinity : 60 + 80 * u(rng);
  c.op.gbw = u(rng) < 0.2 ? kInfinity : logUniform(1e5, 1e8);
  c.op.f2 = u(rng) < 0.5 ? kInfinity : logUniform(1e6, 1e9);
  c.op.ro = u(rng) < 0.3 ? 0.0 : logUniform(0.1, 100);
  c.f = logUniform(1, 1e8);
  c.cload = u(rng) < 0.3 ? 0.0 : logUniform(1e-12, 1e-6);
  return c;
}

RefCircuit Reference(const Network& n, double f, Cx load, bool shorted = false) {
  return {n.r1, n.r2, n.plain ? 0.0 : n.r3, n.r4, n.r5, n.ro, n.InverseGain(f), load, shorted};
}

// Zo, the gains, the pin, Zio and each noise transfer, for the designed
// stage and the plain build.
TEST(Stage, ClosedFormsMatchTheNodalAnalysis) {
  std::mt19937_64 rng(20240601);
  for (int i = 0; i < 1500; ++i) {
    const Case c = RandomCase(rng);
    for (const bool plain : {false, true}) {
      const Network n = plain ? Network::Plain(c.state, c.op) : Network::Designed(c.state, c.op);
      SCOPED_TRACE("case " + std::to_string(i) + (plain ? " plain" : " designed") + " f " + std::to_string(c.f));
      const Solution s = Solve(n, c.f);
      // Yout = G5 (1 - P) + G34 cancels near the stability limit: both
      // solutions lose the same digits there, so the comparison skips
      // circuits whose cancellation exceeds 10^5.
      if ((n.g5 * (1 + std::abs(s.p)) + n.g34) / std::abs(s.yout) > 1e5) continue;
      const Load load{1.0 / c.state.Zo, c.cload, false};
      const Cx yl = load.Admittance(c.f);

      RefDrive test;  // 1 A into Out, nothing at In, no load
      test.inject[Mna::kO] = 1.0;
      EXPECT_TRUE(Near(OutputImpedance(s), SolveReference(Reference(n, c.f, 0.0), test)[Mna::kO], 1e-9));

      RefDrive drive;
      drive.vin = 1.0;
      const auto loaded = SolveReference(Reference(n, c.f, yl), drive);
      EXPECT_TRUE(Near(GainInto(n, s, load), loaded[Mna::kO], 1e-9));
      EXPECT_TRUE(Near(PinPerInput(n, s, load), loaded[Mna::kA], 1e-9, std::abs(loaded[Mna::kO])));
      const auto open = SolveReference(Reference(n, c.f, 0.0), drive);
      EXPECT_TRUE(Near(GainInto(n, s, Load{}), open[Mna::kO], 1e-9));
      EXPECT_TRUE(Near(InputImpedance(n, s), n.r1 / (1.0 - open[Mna::kN]), 1e-9));

      const NoiseTransfer t = NoiseTransfers(n, s, load);
      const std::pair<Cx, Mna::Node> currents[] = {{t.n, Mna::kN}, {t.p, Mna::kP}, {t.a, Mna::kA}, {t.o, Mna::kO}};
      for (const auto& [transfer, node] : currents) {
        RefDrive j;
        j.inject[node] = 1.0;
        // Scale: the transfer of a current into Out, to which every other is compared.
        EXPECT_TRUE(Near(transfer, SolveReference(Reference(n, c.f, yl), j)[Mna::kO], 1e-9, std::abs(t.o)))
            << "current into node " << node;
      }
      RefDrive en;
      en.en = 1.0;
      EXPECT_TRUE(Near(t.en, SolveReference(Reference(n, c.f, yl), en)[Mna::kO], 1e-9));
    }
  }
}

// T = -Aol (v(p) - v(n)) / vs with the source replaced by 1 V: the factored
// loop gain, for each load case.
TEST(Stage, LoopGainMatchesTheBrokenLoop) {
  std::mt19937_64 rng(77);
  for (int i = 0; i < 1000; ++i) {
    Case c = RandomCase(rng);
    if (c.op.a0Db == kInfinity && c.op.gbw == kInfinity) c.op.gbw = 1e6;  // T is infinite
    const Network n = Network::Designed(c.state, c.op);
    for (const LoadCase lc : kLoadCases) {
      SCOPED_TRACE("case " + std::to_string(i) + " load " + LoadCaseName(lc));
      const Load load = LoadOf(lc, c.state.Zo, c.cload);
      RefDrive broken;
      broken.breakLoop = true;
      const auto v = SolveReference(Reference(n, c.f, load.Admittance(c.f), load.shorted), broken);
      const Cx expected = -(v[Mna::kP] - v[Mna::kN]) / n.InverseGain(c.f);
      const LoopGain t(n, load);
      EXPECT_TRUE(Near(t.At(c.f), expected, 1e-7));
      EXPECT_NEAR(std::sqrt(t.MagnitudeSquared(c.f)), std::abs(expected), 1e-7 * std::abs(expected));
      // The continuous phase is arg T up to whole turns.
      const double turns = (t.Phase(c.f) - std::arg(expected)) / (2 * 3.141592653589793);
      EXPECT_NEAR(turns, std::round(turns), 1e-9);
    }
  }
}

// The plain build is the textbook stage: gain -2 G into Zo + Zo with an
// ideal op-amp, and (+) grounded draws no noise of its own.
TEST(Stage, PlainBuildIsTheUsualInvertingStage) {
  main::DesignState s;
  s.R1 = 10e3;
  s.Zo = 600;
  s.Gain = 3.0;
  const Network n = Network::Plain(s, OpAmp{});
  EXPECT_DOUBLE_EQ(n.r2, 60e3);
  EXPECT_DOUBLE_EQ(n.r5, 600);
  const Solution sol = Solve(n, 1e3);
  EXPECT_TRUE(Near(GainInto(n, sol, Load{1.0 / 600, 0, false}), -3.0, 1e-15));
  EXPECT_TRUE(Near(OutputImpedance(sol), 600.0, 1e-15));
  const NoisePowers p = NoiseAt(n, sol, Load{1.0 / 600, 0, false}, 1.0, 1.0, 1.0);
  EXPECT_EQ(p[static_cast<std::size_t>(NoiseSource::R3)], 0.0);
  EXPECT_EQ(p[static_cast<std::size_t>(NoiseSource::R4)], 0.0);
  EXPECT_EQ(p[static_cast<std::size_t>(NoiseSource::InPlus)], 0.0);
}

}  // namespace
}  // namespace velmora::response
