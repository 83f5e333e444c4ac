// Stability margins against loops whose answer is known in closed form, and
// the latch rule.
#include "response/loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>

namespace velmora::response {
namespace {

constexpr double kPi = 3.141592653589793;

main::DesignState Circuit(double r1, double r2, double r3, double r4, double r5, double zo) {
  main::DesignState s;
  s.R1 = r1;
  s.R2 = r2;
  s.R3 = r3;
  s.R4 = r4;
  s.R5 = r5;
  s.Zo = zo;
  s.Gain = 1;
  return s;
}

// The window's initial design (R2 2.4k, R4 3.9k).
main::DesignState Default() { return Circuit(10e3, 2.4e3, 10e3, 3.9e3, 68, 600); }

OpAmp Integrator(double gbw, double f2 = kInfinity) {
  OpAmp op;
  op.gbw = gbw;
  op.f2 = f2;
  return op;
}

// An integrator (A0 = inf) with a resistive load: T = K GBW / (j f), so the
// crossover is K GBW, the phase margin 90 degrees and the phase never
// reaches -180. With a second pole: f_c^2 (1 + f_c^2 / f2^2) = (K GBW)^2 and
// PM = 90 - atan(f_c / f2).
TEST(Loop, KnownLoops) {
  const main::DesignState s = Default();
  for (const LoadCase load : {LoadCase::Zo, LoadCase::Open, LoadCase::Short}) {
    SCOPED_TRACE(LoadCaseName(load));
    const Network n = Network::Designed(s, Integrator(10e6));
    const LoopGain t(n, LoadOf(load, s.Zo, 0));
    const double k = t.n0 / t.d0;
    const Stability one = AnalyseStability(n, load, s.Zo, 0);
    EXPECT_NEAR(one.crossover, k * 10e6, 1e-12 * k * 10e6);
    EXPECT_NEAR(one.phaseMargin, 90, 1e-12);
    EXPECT_TRUE(std::isnan(one.phase180));
    EXPECT_TRUE(std::isnan(one.gainMargin));
    EXPECT_FALSE(one.latches);

    const double f2 = 3e6, kg = k * 10e6;
    const double fc = std::sqrt(f2 * f2 / 2 * (std::sqrt(1 + 4 * kg * kg / (f2 * f2)) - 1));
    const Stability two = AnalyseStability(Network::Designed(s, Integrator(10e6, f2)), load, s.Zo, 0);
    EXPECT_NEAR(two.crossover, fc, 1e-9 * fc);
    EXPECT_NEAR(two.phaseMargin, 90 - std::atan(fc / f2) * 180 / kPi, 1e-9);
    EXPECT_TRUE(std::isnan(two.gainMargin));  // two poles approach -180 without reaching it
  }
}

// At the crossover |T| is 1 and no lower frequency has |T| below 1; where
// the phase first reaches -180 degrees the gain margin is -20 log10 |T|. A
// large Ro with a slow second pole and a cable on the open output (its
// pole below its zero) takes the phase past -180.
TEST(Loop, MarginsAreReadWhereTheirDefinitionsSay) {
  OpAmp fast;
  fast.a0Db = 100;
  fast.gbw = 10e6;
  fast.f2 = 4e6;
  fast.ro = 50;
  OpAmp slow = fast;
  slow.f2 = 100e3;
  slow.ro = 3000;
  const main::DesignState wide = Circuit(10e3, 10e3, 10e3, 29.4e3, 300, 600);  // Zo / R5 = 2
  int gainMargins = 0;
  for (const auto& [s, op] : {std::pair{Default(), fast}, std::pair{wide, slow}}) {
    const Network n = Network::Designed(s, op);
    for (const double cload : {0.0, 1e-9, 10e-9, 1e-6}) {
      for (const LoadCase load : kLoadCases) {
        SCOPED_TRACE(std::string(LoadCaseName(load)) + " " + std::to_string(cload));
        const Stability st = AnalyseStability(n, load, s.Zo, cload);
        const LoopGain t(n, LoadOf(load, s.Zo, cload));
        ASSERT_TRUE(std::isfinite(st.crossover));
        EXPECT_NEAR(std::sqrt(t.MagnitudeSquared(st.crossover)), 1.0, 1e-12);
        EXPECT_NEAR(st.phaseMargin, 180 + t.Phase(st.crossover) * 180 / kPi, 1e-12);
        for (double f = 1e-3; f < st.crossover; f *= 1.002) ASSERT_GE(t.MagnitudeSquared(f), 1.0) << f;
        if (std::isnan(st.phase180)) continue;
        ++gainMargins;
        EXPECT_NEAR(t.Phase(st.phase180), -kPi, 1e-9);
        for (double f = 1e-3; f < st.phase180; f *= 1.002) ASSERT_GT(t.Phase(f), -kPi) << f;
        EXPECT_NEAR(st.gainMargin, -20 * std::log10(std::abs(t.At(st.phase180))), 1e-9);
      }
    }
  }
  EXPECT_GT(gainMargins, 0);
}

// alpha2 = 0.4, beta = 0.5, G5 = 1 S, G34 = 0.05 S: unloaded, the positive
// feedback wins at DC (N(0) = -0.08); a 2 ohm load (0.5 S) takes enough of it
// (N(0) = 0.12); a short leaves only the negative feedback.
TEST(Loop, OpenOutputLatches) {
  const main::DesignState s = Circuit(4, 6, 10, 10, 1, 2);
  for (const double a0Db : {100.0, kInfinity}) {
    OpAmp op;
    op.a0Db = a0Db;
    op.gbw = 1e6;
    const Network n = Network::Designed(s, op);
    const Stability open = AnalyseStability(n, LoadCase::Open, s.Zo, 0);
    EXPECT_TRUE(open.latches);
    EXPECT_LT(open.loopGainDc, -1);
    EXPECT_TRUE(std::isnan(open.crossover));
    EXPECT_TRUE(std::isnan(open.phaseMargin));
    EXPECT_FALSE(AnalyseStability(n, LoadCase::Zo, s.Zo, 0).latches);
    EXPECT_FALSE(AnalyseStability(n, LoadCase::Short, s.Zo, 0).latches);
  }
}

// A passive load only adds to N(0): whatever latches loaded latches open,
// and a short never latches.
TEST(Loop, OpenIsTheWorstPassiveLoad) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  const auto r = [&] { return std::pow(10.0, 1 + 5 * u(rng)); };
  int latchedLoaded = 0;
  for (int i = 0; i < 1500; ++i) {
    const main::DesignState s = Circuit(r(), r(), r(), r(), r() / 100, r());
    OpAmp op;
    op.a0Db = 40 + 100 * u(rng);
    op.gbw = 1e6;
    const Network n = Network::Designed(s, op);
    const bool loaded = AnalyseStability(n, LoadCase::Zo, s.Zo, 0).latches;
    latchedLoaded += loaded;
    if (loaded) {
      EXPECT_TRUE(AnalyseStability(n, LoadCase::Open, s.Zo, 0).latches);
    }
    EXPECT_FALSE(AnalyseStability(n, LoadCase::Short, s.Zo, 0).latches);
  }
  EXPECT_GT(latchedLoaded, 30);
}

// Without a crossover: a flat loop above 1 (GBW = inf), below 1, and the
// ideal op-amp's infinite loop.
TEST(Loop, NoCrossover) {
  const main::DesignState s = Default();
  OpAmp flat;
  flat.a0Db = 60;
  Stability st = AnalyseStability(Network::Designed(s, flat), LoadCase::Zo, s.Zo, 0);
  EXPECT_TRUE(st.alwaysAbove);
  EXPECT_FALSE(st.neverReaches);
  EXPECT_TRUE(std::isnan(st.crossover));
  flat.a0Db = -40;
  st = AnalyseStability(Network::Designed(s, flat), LoadCase::Zo, s.Zo, 0);
  EXPECT_TRUE(st.neverReaches);
  EXPECT_FALSE(st.alwaysAbove);
  st = AnalyseStability(Network::Designed(s, OpAmp{}), LoadCase::Short, s.Zo, 0);
  EXPECT_EQ(st.loopGainDc, kInfinity);
  EXPECT_TRUE(st.alwaysAbove);
  EXPECT_TRUE(std::isnan(st.phaseMargin));
}

}  // namespace
}  // namespace velmora::response
