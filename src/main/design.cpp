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

// The output impedance that the pair (r2, r4) gives: (R3 + R4) R5 / D with
// D = (R3 + R4 + R5) - (R2 / R1 + 1) R3, evaluated left to right.
Checked OutputImpedance(Checked R1, Checked r2, Checked R3, Checked r4, Checked R5) {
  return (R3 + r4) * R5 / ((R3 + r4 + R5) - (r2 / R1 + 1.0) * R3);
}

}  // namespace

void RefinePair(double Zo, double R1, double R3, double R5, double& R2, double& R4,
                std::int32_t ER) {
  const Checked step = CheckedExp(Checked(common::kStoredLn10) / static_cast<double>(ER));
  const std::array<double, 3> r2s{R2, RoundToSeries((Checked(R2) / step).value(), ER),
                                  RoundToSeries((Checked(R2) * step).value(), ER)};
  const std::array<double, 3> r4s{R4, RoundToSeries((Checked(R4) / step).value(), ER),
                                  RoundToSeries((Checked(R4) * step).value(), ER)};
  Checked best = 1000000.0;
  for (double r4 : r4s) {
    for (double r2 : r2s) {
      const Checked t = OutputImpedance(R1, r2, R3, r4, R5);
      if (!(t > 0.0)) continue;
      const Checked m = t > Zo ? t / Zo : Checked(Zo) / t;
      if (m < best) {
        best = m;
        R2 = r2;
        R4 = r4;
      }
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

  const Checked R2f = state.R2, R4f = state.R4;
  state.Zor = OutputImpedance(r1, R2f, r3, R4f, r5).value();
  state.Gainr = (((r3 + R4f) * R2f / r1) / ((r3 + R4f + r5) - (R2f / r1 + 1.0) * r3) /
                 (Checked(state.Zor) / zo + 1.0))
                    .value();
  state.Decr = (Checked(1.0) / (r5 / ((r3 + R4f) * zo / (r3 + R4f + zo)) + 1.0)).value();
  state.Zio = (r1 / (R2f / (r1 * ((r3 + R4f + r5) / r3 - R2f / r1 - 1.0)) + 1.0)).value();

  if (zo * 2.0 > r3 + R4f) return DesignOutcome::R3TooSmall;
  state.Valid = true;
  return DesignOutcome::Success;
}

}  // namespace velmora::main
