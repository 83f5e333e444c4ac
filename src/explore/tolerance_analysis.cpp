#include "explore/tolerance_analysis.h"

#include "common/numtext.h"
#include "common/utf.h"
#include "explore/yield.h"

namespace velmora::explore {

bool ToleranceReport::unstable() const {
  return !nominalGood || worst.badPoints > 0 || monteCarlo.bad > 0;
}

ToleranceReport AnalyseTolerance(const DesignState& state, const ToleranceSettings& settings,
                                 RunControl* control) {
  ToleranceReport r;
  r.ER = state.ER;
  r.settings = settings;
  r.circuit = CircuitOf(state);
  r.nominalGood = EvaluateCircuit(r.circuit, kNominalFactors, r.nominal);
  r.worst = WorstCase(r.circuit, settings.pct);
  r.wantedGainDb = main::GainDb(state.Gain);
  r.plan = PlanCounts(settings, state.Zo, r.wantedGainDb, r.nominalGood ? &r.nominal : nullptr, r.worst);
  r.monteCarlo = MonteCarlo(r.circuit, settings.pct, settings.distribution, settings.samples, settings.seed, 0,
                            &r.plan, control);
  if (r.monteCarlo.cancelled) return r;
  r.sensitivity = SensitivityOf(r.circuit);
  return r;
}

std::string UnstableWarning(const ToleranceReport& r) {
  if (!r.unstable()) return {};
  auto count = [](std::uint64_t part, std::uint64_t whole) {
    const double share = whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    return std::to_string(part) + " of " + std::to_string(whole) + " (" +
           common::Utf16ToUtf8(common::FormatPadded(share, 0, 3)) + " %)";
  };
  std::string w = "WARNING: UNSTABLE WITHIN THE TOLERANCE. The output impedance is not positive and finite";
  if (!r.nominalGood) w += " for the nominal circuit itself,";
  w += " in " + count(r.monteCarlo.bad, r.monteCarlo.samples) + " Monte Carlo samples, " +
       count(static_cast<std::uint64_t>(r.worst.badCorners), kCorners) + " corners and " +
       count(r.worst.badPoints, r.worst.points) +
       " points of the worst-case search: there the positive feedback makes the stage unstable "
       "or latch. Those circuits are counted, not averaged; the figures describe the others only.";
  return w;
}

}  // namespace velmora::explore
