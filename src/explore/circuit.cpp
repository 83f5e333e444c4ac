#include "explore/circuit.h"

#include <cmath>

#include "common/checked.h"
#include "common/fp_error.h"

namespace velmora::explore {

using common::Checked;

Circuit CircuitOf(const DesignState& state) {
  return {state.Zo, {state.R1, state.R2, state.R3, state.R4, state.R5}};
}

bool EvaluateCircuit(const Circuit& circuit, const Factors& factors, Figures& out) noexcept {
  DesignState state;
  return EvaluateCircuit(circuit, factors, state, out);
}

bool EvaluateCircuit(const Circuit& circuit, const Factors& factors, DesignState& s, Figures& out) noexcept {
  try {
    s.Zo = circuit.Zo;
    s.R1 = (Checked(circuit.R[0]) * factors[0]).value();
    s.R2 = (Checked(circuit.R[1]) * factors[1]).value();
    s.R3 = (Checked(circuit.R[2]) * factors[2]).value();
    s.R4 = (Checked(circuit.R[3]) * factors[3]).value();
    s.R5 = (Checked(circuit.R[4]) * factors[4]).value();
    main::StoreAchievedValues(s);
    if (!(s.Zor > 0.0) || !std::isfinite(s.Zor)) return false;
    out.Zo = s.Zor;
    out.Gain = s.Gainr;
    out.GainDb = main::GainDb(s.Gainr);
    out.Zio = s.Zio;
    out.Eta = s.Decr;
    return true;
  } catch (const common::FloatingPointError&) {
    return false;
  }
}

}  // namespace velmora::explore
