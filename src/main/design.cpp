#include "main/design.h"

#include <array>
#include <cmath>

#include "common/checked.h"
#include "common/series.h"

namespace velmora::main {

using common::Checked;
using common::CheckedExp;
using common::CheckedLn;
using common::RoundToSeries;

namespace {

// (R3 + R4) R5 / D with D = (R3 + R4 + R5) - (R2 / R1 + 1) R3, left to right.
Checked OutputImpedance(Checked R1, Checked r2, Checked R3, Checked r4, Checked R5) {
  return (R3 + r4) * R5 / ((R3 + r4 + R5) - (r2 / R1 + 1.0) * R3);
}

}  // namespace

double PairOutputImpedance(double R1, double r2, double R3, double r4, double R5) {
  return OutputImpedance(R1, r2, R3, r4, R5).value();
}

void StoreAchievedValues(DesignState& state) {
  const Checked zo = state.Zo, r1 = state.R1, r2 = state.R2, r3 = state.R3, r4 = state.R4,
                r5 = state.R5;
  state.Zor = OutputImpedance(r1, r2, r3, r4, r5).value();
  state.Gainr = (((r3 + r4) * r2 / r1) / ((r3 + r4 + r5) - (r2 / r1 + 1.0) * r3) /
                 (Checked(state.Zor) / zo + 1.0))
                    .value();
  state.Decr = (Checked(1.0) / (r5 / ((r3 + r4) * zo / (r3 + r4 + zo)) + 1.0)).value();
  state.Zio = (r1 / (r2 / (r1 * ((r3 + r4 + r5) / r3 - r2 / r1 - 1.0)) + 1.0)).value();
}

void RefinePair(double Zo, double R1, double R3, double R5, double& R2, double& R4,
                std::int32_t ER, std::vector<Candidate>* trace) {
  const Checked step = CheckedExp(Checked(common::kStoredLn10) / static_cast<double>(ER));
  const std::array<double, 3> r2s{R2, RoundToSeries((Checked(R2) / step).value(), ER),
                                  RoundToSeries((Checked(R2) * step).value(), ER)};
  const std::array<double, 3> r4s{R4, RoundToSeries((Checked(R4) / step).value(), ER),
                                  RoundToSeries((Checked(R4) * step).value(), ER)};
  Checked best = 1000000.0;
  for (double r4 : r4s) {
    for (double r2 : r2s) {
      const Checked t = OutputImpedance(R1, r2, R3, r4, R5);
      if (!(t > 0.0)) {
        if (trace != nullptr) trace->push_back({r4, r2, t.value(), true, 0.0, false});
        continue;
      }
      const Checked m = t > Zo ? t / Zo : Checked(Zo) / t;
      const bool better = m < best;
      if (better) {
        best = m;
        R2 = r2;
        R4 = r4;
      }
      if (trace != nullptr) trace->push_back({r4, r2, t.value(), false, m.value(), better});
    }
  }
}

DesignOutcome SolveDesign(double gainDb, double Zo, double R1, double R3, double R5,
                          std::int32_t ER, DesignState& state) {
  state.Valid = false;
  state.ER = ER;
  state.Zo = Zo;
  state.R1 = R1;
  state.R3 = R3;
  state.R5 = R5;
  if (std::isnan(gainDb) || std::isnan(Zo) || std::isnan(R1) || std::isnan(R3) || std::isnan(R5))
    return DesignOutcome::NotANumber;

  const Checked ln10 = CheckedLn(10.0);
  state.Gain = CheckedExp(ln10 * gainDb / 20.0).value();
  const Checked gain = state.Gain;
  if (Checked(R5) > Checked(Zo) / 1.5) return DesignOutcome::R5TooLarge;

  const Checked zo = Zo, r1 = R1, r3 = R3, r5 = R5;
  state.R2 = ((gain * 2.0) * r1 * r5 / zo).value();
  const Checked r2 = state.R2;
  state.R4 = (((gain * 2.0) * r1 * ((r3 + r5) - (r2 / r1 + 1.0) * r3) - r2 * r3) /
              (r2 - (gain * 2.0) * r1))
                 .value();

  state.R2 = RoundToSeries(state.R2, ER);
  state.R4 = RoundToSeries(state.R4, ER);
  if (ER != 0) RefinePair(Zo, R1, R3, R5, state.R2, state.R4, ER);

  StoreAchievedValues(state);

  if (zo * 2.0 > r3 + Checked(state.R4)) return DesignOutcome::R3TooSmall;
  state.Valid = true;
  return DesignOutcome::Success;
}

DesignOutcome SolveDesign(const DesignInputs& in, DesignState& state) {
  return SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, in.ER, state);
}

double GainDb(double ratio) { return (common::Checked(20.0) * common::Log10(ratio)).value(); }

}  // namespace velmora::main
