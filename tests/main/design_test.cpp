// The design calculation: exact results, the neighbour search, the outcomes
// and the floating-point faults with the state they leave behind.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/fp_error.h"
#include "common/numtext.h"
#include "common/series.h"
#include "main/design.h"
#include "main/report.h"

namespace {

using velmora::common::FloatingPointError;
using velmora::common::FpFault;
using velmora::main::DesignOutcome;
using velmora::main::DesignState;
using velmora::main::SolveDesign;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Inputs {
  double gainDb = 0.0, Zo = 600, R1 = 10000, R3 = 10000, R5 = 68;
  std::int32_t ER = 24;
};

DesignOutcome Solve(const Inputs& in, DesignState& s) {
  return SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, in.ER, s);
}

double GainDb(double ratio) { return 20.0 * velmora::common::Log10(ratio); }

TEST(SolveDesignExact, DefaultInputsWithoutSeries) {
  DesignState s;
  ASSERT_EQ(Solve({.ER = 0}, s), DesignOutcome::Success);
  EXPECT_TRUE(s.Valid);
  EXPECT_EQ(s.Gain, 1.0);
  EXPECT_EQ(s.R2, 2266.6666666666665);
  EXPECT_EQ(s.R4, 3757.8947368421045);
  EXPECT_EQ(s.Zor, 599.9999999999999);
  EXPECT_EQ(s.Gainr, 0.9999999999999998);
  EXPECT_EQ(s.Zio, 4075.459931400065);
  EXPECT_EQ(s.Decr, 0.8942336638721389);
}

TEST(SolveDesignExact, DefaultInputsSeries24) {
  DesignState s;
  ASSERT_EQ(Solve({}, s), DesignOutcome::Success);
  EXPECT_EQ(s.R2, 2400.0);
  EXPECT_EQ(s.R4, 3900.0);
  EXPECT_EQ(s.Zor, 602.8061224489796);
  EXPECT_EQ(s.Gainr, 1.0612937433722163);
  EXPECT_EQ(s.Zio, 3951.6129032258077);
  EXPECT_EQ(s.Decr, 0.8942740724855245);
  EXPECT_EQ(s.ER, 24);
}

TEST(SolveDesignSeries, ChosenPairPerSeries) {
  struct Case { std::int32_t er; double r2, r4, zor, db; };
  const Case cases[] = {
      {6,   3300, 4700, 680.926,  3.795},
      {12,  1800, 3300, 576.786, -2.175},
      {24,  2400, 3900, 602.806,  0.517},
      {48,  2150, 3650, 591.964, -0.518},
      {96,  2260, 3740, 603.566,  0.000},  // the rounded pair itself is best
      {192, 2290, 3790, 598.036,  0.075},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.er);
    DesignState s;
    ASSERT_EQ(Solve({.ER = c.er}, s), DesignOutcome::Success);
    EXPECT_NEAR(s.R2, c.r2, 1e-9);
    EXPECT_NEAR(s.R4, c.r4, 1e-9);
    EXPECT_NEAR(s.Zor, c.zor, 0.0005);
    EXPECT_NEAR(GainDb(s.Gainr), c.db, 0.0005);
  }
}

TEST(RefinePair, SkipsNonPositiveImpedanceAndKeepsEarlierTies) {
  // Series 6 around the rounded pair (2200, 3300): one candidate pair gives a
  // negative impedance and must be skipped rather than win on |m|.
  double r2 = 2200, r4 = 3300;
  velmora::main::RefinePair(600, 10000, 10000, 68, r2, r4, 6);
  EXPECT_EQ(r2, 3300.0);
  EXPECT_EQ(r4, 4700.0);
  // A real tie: at this Zo the pairs (2200, 3900) and (2400, 4300) lie at the
  // same ratio m = 1.04018550625153; the earlier one in the search stays.
  double a2 = 2400, a4 = 3900;
  velmora::main::RefinePair(513.96157839379464, 10000, 10000, 68, a2, a4, 24);
  EXPECT_EQ(a2, 2200.0);
  EXPECT_EQ(a4, 3900.0);
  // The same design scaled down 10^4: every t is below 0.1 ohm and still counts.
  double s2 = 0.22, s4 = 0.39;
  velmora::main::RefinePair(0.06, 1, 1, 0.0068, s2, s4, 24);
  EXPECT_NEAR(s2, 0.24, 1e-15);
  EXPECT_NEAR(s4, 0.39, 1e-15);
  // R3 + r4 = 0 gives t = -0: skipped like any t that is not positive, not divided by.
  double n2 = 2200, n4 = -1000;
  velmora::main::RefinePair(600, 10000, 1000, 68, n2, n4, 24);
  EXPECT_EQ(n2, 2000.0);
  EXPECT_EQ(n4, -1100.0);
}

TEST(RefinePair, NegativeSeriesUsesTheSameNeighbours) {
  double p2 = 2200, p4 = 3900, n2 = 2200, n4 = 3900;
  velmora::main::RefinePair(600, 10000, 10000, 68, p2, p4, 24);
  velmora::main::RefinePair(600, 10000, 10000, 68, n2, n4, -24);
  EXPECT_EQ(n2, p2);
  EXPECT_EQ(n4, p4);
}

TEST(SolveDesignOutcomes, ChecksAndBoundaries) {
  struct Case { Inputs in; DesignOutcome out; };
  const Case cases[] = {
      {{.gainDb = 20, .ER = 0},  DesignOutcome::Success},
      {{.R5 = 470},              DesignOutcome::R5TooLarge},
      {{.R5 = 400},              DesignOutcome::Success},     // exactly Zo / 1.5 passes
      {{.R3 = 900, .ER = 0},     DesignOutcome::R3TooSmall},
      {{.R3 = 1000, .ER = 0},    DesignOutcome::Success},
      {{.R3 = 930},              DesignOutcome::Success},     // R4 = 270: R3 + R4 = 2 Zo exactly passes
      {{.Zo = 0, .R5 = 1},       DesignOutcome::R5TooLarge},
      {{.Zo = -600, .R5 = 0},    DesignOutcome::R5TooLarge},
      {{.gainDb = kNaN},         DesignOutcome::NotANumber},
      {{.R5 = kNaN},             DesignOutcome::NotANumber},
  };
  for (const Case& c : cases) {
    DesignState s;
    EXPECT_EQ(Solve(c.in, s), c.out) << c.in.gainDb << " " << c.in.Zo << " " << c.in.R3 << " " << c.in.R5;
    EXPECT_EQ(s.Valid, c.out == DesignOutcome::Success);
  }
}

TEST(SolveDesignOutcomes, GainTwentyDb) {
  DesignState s;
  ASSERT_EQ(Solve({.gainDb = 20, .ER = 0}, s), DesignOutcome::Success);
  EXPECT_NEAR(s.R2, 22666.67, 0.005);
  EXPECT_NEAR(s.R4, 26765.41, 0.005);
  EXPECT_NEAR(s.Zor, 600, 1e-9);
  EXPECT_NEAR(s.Gainr, 10, 1e-12);
  ASSERT_EQ(Solve({.gainDb = 20}, s), DesignOutcome::Success);
  EXPECT_EQ(s.R2, 20000.0);
  EXPECT_EQ(s.R4, 24000.0);
  EXPECT_NEAR(s.Zor, 568.338, 0.0005);
  EXPECT_NEAR(GainDb(s.Gainr), 18.674, 0.0005);
}

TEST(SolveDesignOutcomes, R5AtTheLimitAndR3TooSmallKeepsResults) {
  DesignState s;
  ASSERT_EQ(Solve({.R5 = 400}, s), DesignOutcome::Success);
  EXPECT_EQ(s.R2, 12000.0);
  EXPECT_EQ(s.R4, 56000.0);
  EXPECT_NEAR(s.Zor, 594.595, 0.0005);
  EXPECT_NEAR(s.Decr, 0.598, 0.0005);

  ASSERT_EQ(Solve({.R3 = 900, .ER = 0}, s), DesignOutcome::R3TooSmall);
  EXPECT_NEAR(s.R4, 268.42, 0.005);
  EXPECT_NEAR(s.Zor, 600, 1e-9);  // achieved values are stored before the check
  EXPECT_FALSE(s.Valid);
}

TEST(SolveDesignState, NotANumberChangesOnlyInputsAndValid) {
  DesignState s;
  ASSERT_EQ(Solve({}, s), DesignOutcome::Success);
  const DesignState before = s;
  ASSERT_EQ(Solve({.gainDb = kNaN, .Zo = 500, .ER = 12}, s), DesignOutcome::NotANumber);
  EXPECT_FALSE(s.Valid);
  EXPECT_EQ(s.Zo, 500.0);
  EXPECT_EQ(s.ER, 12);
  EXPECT_EQ(s.R2, before.R2);
  EXPECT_EQ(s.Zor, before.Zor);
  EXPECT_EQ(s.Gain, before.Gain);
  DesignState fresh;  // as the program starts: every computed number 0
  ASSERT_EQ(Solve({.gainDb = kNaN}, fresh), DesignOutcome::NotANumber);
  for (double v : {fresh.Gain, fresh.Gainr, fresh.Zor, fresh.Decr, fresh.Zio, fresh.R2, fresh.R4}) EXPECT_EQ(v, 0.0);
}

TEST(SolveDesignFaults, TellingCases) {
  struct Case { Inputs in; FpFault fault; };
  const Case cases[] = {
      {{.Zo = 0, .R5 = 0},          FpFault::Invalid},       // R2 = 0 / 0
      {{.Zo = 0, .R5 = -1},         FpFault::DivideByZero},  // R2 = x / 0
      {{.R1 = 0},                   FpFault::Invalid},       // R2 / R1 = 0 / 0
      {{.R3 = 0},                   FpFault::DivideByZero},
      {{.R3 = 0, .ER = 0},          FpFault::DivideByZero},
      {{.R5 = 0},                   FpFault::Invalid},
      {{.R5 = 0, .ER = 0},          FpFault::Invalid},
      {{.gainDb = 7000},            FpFault::Overflow},      // exp beyond the double range
      {{.gainDb = kInf},            FpFault::Invalid},       // R4 = inf - inf
  };
  for (const Case& c : cases) {
    DesignState s;
    try {
      Solve(c.in, s);
      ADD_FAILURE() << "no fault for Zo " << c.in.Zo << " R1 " << c.in.R1 << " R3 " << c.in.R3
                    << " R5 " << c.in.R5 << " ER " << c.in.ER;
    } catch (const FloatingPointError& e) {
      EXPECT_EQ(e.fault(), c.fault) << e.what();
      EXPECT_FALSE(s.Valid);
    }
  }
}

TEST(SolveDesignFaults, StateKeepsWhatWasStoredBeforeTheFault) {
  DesignState s;
  ASSERT_EQ(Solve({}, s), DesignOutcome::Success);
  EXPECT_THROW(Solve({.R1 = 0}, s), FloatingPointError);
  EXPECT_FALSE(s.Valid);
  EXPECT_EQ(s.R1, 0.0);
  EXPECT_EQ(s.Gain, 1.0);
  EXPECT_EQ(s.R2, 0.0);      // R2 = 0 was stored, then R2 / R1 faulted
  EXPECT_EQ(s.R4, 3900.0);   // still from the previous calculation
  EXPECT_EQ(s.Zor, 602.8061224489796);
  // R3 + R4 = 0: Zor is written, then eta divides by zero; Zio comes after it.
  ASSERT_EQ(Solve({}, s), DesignOutcome::Success);
  s.R4 = -s.R3;
  EXPECT_THROW(velmora::main::StoreAchievedValues(s), FloatingPointError);
  EXPECT_EQ(s.Zor, 0.0);
  EXPECT_EQ(s.Gainr, 0.0);
  EXPECT_EQ(s.Zio, 3951.6129032258077);
  // R1 the smallest subnormal: R2 = R1, whose rounding divides by zero before R4 = 29400 is rounded.
  EXPECT_THROW(Solve({.R1 = 5e-324, .R5 = 300}, s), FloatingPointError);
  EXPECT_EQ(s.R4, 29400.0);
}

TEST(SolveDesignFaults, MessagesAreTheProgramsOwn) {
  DesignState s;
  const struct { Inputs in; const char* text; } cases[] = {
      {{.R1 = 0},                "Invalid floating point operation"},
      {{.Zo = 0, .R5 = -1},      "Floating point division by zero"},
      {{.gainDb = 7000},         "Floating point overflow"},
  };
  for (const auto& c : cases) {
    try {
      Solve(c.in, s);
      ADD_FAILURE() << c.text;
    } catch (const FloatingPointError& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
}

TEST(SolveDesignRobustness, ExtremeSeriesNumbersComputeWithoutUndefinedBehaviour) {
  for (std::int32_t er : {std::numeric_limits<std::int32_t>::max(),
                          std::numeric_limits<std::int32_t>::min(), 1, -1, 1000000}) {
    DesignState s;
    try {
      const DesignOutcome o = Solve({.ER = er}, s);
      EXPECT_NE(o, DesignOutcome::NotANumber);
      EXPECT_TRUE(std::isfinite(s.Zor));
    } catch (const FloatingPointError&) {
      // a fault is an acceptable answer; a crash or UB (sanitizers) is not
    }
  }
}

}  // namespace

namespace {

TEST(RefinePair, TraceFollowsTheSearchOrder) {
  // Series 24 from the rounded pair (2200, 3900): r4 outer, r2 inner.
  std::vector<velmora::main::Candidate> trace;
  double r2 = 2200, r4 = 3900;
  velmora::main::RefinePair(600, 10000, 10000, 68, r2, r4, 24, &trace);
  ASSERT_EQ(trace.size(), 9u);
  const double order[9][2] = {{3900, 2200}, {3900, 2000}, {3900, 2400}, {3600, 2200}, {3600, 2000},
                              {3600, 2400}, {4300, 2200}, {4300, 2000}, {4300, 2400}};
  const double m[9] = {1.122302, 1.249259, 1.004677, 1.049955, 1.082180,
                       1.215563, 1.337721, 1.461127, 1.214315};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_NEAR(trace[i].r4, order[i][0], 1e-9);
    EXPECT_NEAR(trace[i].r2, order[i][1], 1e-9);
    EXPECT_NEAR(trace[i].m, m[i], 5e-7);
    EXPECT_FALSE(trace[i].skipped);
  }
  EXPECT_TRUE(trace[0].chosen);
  EXPECT_TRUE(trace[2].chosen);   // 602.806 ohm: best from here on
  EXPECT_FALSE(trace[3].chosen);
  EXPECT_EQ(r2, 2400.0);
  EXPECT_EQ(r4, 3900.0);
}

TEST(StoreAchievedValues, AgreesWithTheDesignItStoredFor) {
  DesignState s;
  ASSERT_EQ(SolveDesign(0.0, 600, 10000, 10000, 68, 12, s), DesignOutcome::Success);
  DesignState again = s;
  again.Zor = again.Gainr = again.Decr = again.Zio = 0;
  velmora::main::StoreAchievedValues(again);
  EXPECT_EQ(again.Zor, s.Zor);
  EXPECT_EQ(again.Gainr, s.Gainr);
  EXPECT_EQ(again.Decr, s.Decr);
  EXPECT_EQ(again.Zio, s.Zio);
}

}  // namespace
