// The designed stage as a SPICE netlist, for simulating it: with the ideal
// op-amp of the design calculation, or with the op-amp model of opamp.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "main/design.h"
#include "response/analysis.h"
#include "response/opamp.h"

namespace velmora::response {

// The texts the design was made from, quoted in the netlist's comments.
struct NetlistInputs {
  std::string zo, gain, r1, r3, r5, series;  // UTF-8, as typed
};

// The nodes of the netlist whose DC values (at the sweep point 1) are the
// stage's figures, as its .meas lines name them.
inline constexpr const char* kMeasZo = "zo";          // output impedance, In grounded (ohm)
inline constexpr const char* kMeasGainDb = "gain_db"; // gain in dB into a load of Zo
inline constexpr const char* kMeasZio = "zio";        // input impedance, Out open (ohm)
inline constexpr const char* kMeasEta = "eta";        // share of the amplifier's output at Out, loaded with Zo

// The gain of the ideal netlist's op-amp: high enough to be ideal to 1e-6
// but for stages close to the stability limit, and low enough that a
// simulator's solver keeps its precision (at 1e9 its rounding errors,
// magnified by the gain, already reach 1e-6).
inline constexpr double kNetlistGain = 1e7;

// The netlist of the stage in `state` (a Success of SolveDesign: R1 ... R5
// as designed, the load Zo) with the op-amp as the five-pin subcircuit OPAMP
// (ideal: a voltage-controlled source of gain kNetlistGain), a DC analysis
// and one .meas line per figure. Comments quote `inputs` and give Velmora's
// own figures with every digit, for comparison; where the netlist as
// written, with its finite gain, gives figures more than 1e-4 (relative) off
// those, a comment line says so with the figures it gives and the gain that
// would bring them within 1e-4. Each line ends with `newline`; the text is
// UTF-8, with any control character of an input text (U+0000 to U+001F,
// U+007F to U+009F) written as "?" and anything in it that is not UTF-8 as
// U+FFFD. Never fails.
std::string MakeNetlist(const NetlistInputs& inputs, const main::DesignState& state,
                        std::string_view newline = "\n");

// The same stage with `op` as OPAMP: A0 as a conductance 1/A0 beside a
// capacitance 1/(2 pi GBW) fed by a 1 S transconductance, the second pole
// as a second such node, Ro, en as a resistor of thermal noise en^2 in
// series with (+), in as the thermal noise of a resistor copied into each
// input, every other element of the model noiseless (controlled sources
// and conductances written as controlled sources). An infinite A0 with an
// infinite GBW is written as the ideal netlist's gain. The load Zo (a
// noiseless conductance) with CL, the temperature, .ac over the sweep of
// `settings`, .noise at the loaded output (commented out: simulators report
// the .meas lines of one analysis) and .meas ac lines for |Zo| and the gain
// in dB at 1 kHz and 20 kHz. Comments give Velmora's figures for this
// op-amp. Throws only common::FloatingPointError, from the analysis of a
// stage whose figures are not finite.
std::string MakeModelNetlist(const NetlistInputs& inputs, const main::DesignState& state, const OpAmp& op,
                             const FrequencySettings& settings, std::string_view newline = "\n");

// The DC figures of the ideal netlist as written (its op-amp's gain
// kNetlistGain) where one of them is more than 1e-4 off the ideal op-amp's,
// and the least gain, rounded up to two digits, that brings all four within
// 1e-4; nullopt when they agree.
struct FiniteGainError {
  DcFigures asWritten;
  double gainNeeded = 0;
};
std::optional<FiniteGainError> NetlistGainError(const main::DesignState& state);

}  // namespace velmora::response
