// How much each resistor moves the output impedance and the gain.
#pragma once

#include <array>

#include "explore/circuit.h"

namespace velmora::explore {

struct Sensitivity {
  // Per resistor: the % change of Zo and of the gain ratio when that
  // resistor alone is 1 % larger; NaN when either circuit has no figures.
  std::array<double, kResistors> zoPct{}, gainPct{};
};

Sensitivity SensitivityOf(const Circuit& circuit);

}  // namespace velmora::explore
