// The tolerance analysis of a designed circuit: the worst case over the
// whole tolerance box, a Monte Carlo run counting the yield and the
// histograms' bins, and each resistor's sensitivity. explorer_tables.h lays
// its report out as tables.
#pragma once

#include <cstdint>
#include <string>

#include "explore/box_search.h"
#include "explore/circuit.h"
#include "explore/monte_carlo.h"
#include "explore/sensitivity.h"
#include "explore/tolerance_settings.h"

namespace velmora::explore {

struct ToleranceReport {
  std::int32_t ER = 0;
  ToleranceSettings settings;
  Circuit circuit;
  bool nominalGood = false;  // the nominal circuit itself has figures
  Figures nominal;
  BoxExtremes worst;
  MonteCarloResult monteCarlo;
  Sensitivity sensitivity;
  double wantedGainDb = 0;
  CountPlan plan;  // the acceptance windows and the bins the Monte Carlo counted
  // Some circuit within the tolerance has no positive, finite output impedance.
  bool unstable() const;
};

// The analysis of the circuit that `state` describes (R1 ... R5 and Zo);
// the acceptance windows lie around state.Zo and the gain in dB of
// state.Gain. At 0 % every sample and every point of the box is the nominal
// circuit. With a `control`, the Monte Carlo run reports its progress and
// can be cancelled (then report.monteCarlo.cancelled and nothing else
// counts). Throws only common::FloatingPointError (see MonteCarlo).
ToleranceReport AnalyseTolerance(const DesignState& state, const ToleranceSettings& settings,
                                 RunControl* control = nullptr);

// A loud warning about circuits within the tolerance whose output impedance
// is not positive and finite, with their share of samples and corners;
// empty when there are none.
std::string UnstableWarning(const ToleranceReport& report);

}  // namespace velmora::explore
