#include "explore/sensitivity.h"

#include <cstddef>
#include <limits>

#include "common/checked.h"
#include "common/fp_error.h"

namespace velmora::explore {

using common::Checked;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

Sensitivity SensitivityOf(const Circuit& circuit) {
  Sensitivity s;
  s.zoPct.fill(kNaN);
  s.gainPct.fill(kNaN);
  Figures base;
  if (!EvaluateCircuit(circuit, kNominalFactors, base)) return s;
  for (std::size_t i = 0; i < kResistors; ++i) {
    Factors factors = kNominalFactors;
    factors[i] = 1.01;
    Figures moved;
    if (!EvaluateCircuit(circuit, factors, moved)) continue;
    try {
      s.zoPct[i] = ((Checked(moved.Zo) / base.Zo - 1.0) * 100.0).value();
      s.gainPct[i] = ((Checked(moved.Gain) / base.Gain - 1.0) * 100.0).value();
    } catch (const common::FloatingPointError&) {
      s.zoPct[i] = s.gainPct[i] = kNaN;
    }
  }
  return s;
}

}  // namespace velmora::explore
