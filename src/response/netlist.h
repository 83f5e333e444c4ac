// The designed stage as a SPICE netlist, for simulating it with a real
// op-amp model (ngspice, LTspice, KiCad).
#pragma once

#include <string>
#include <string_view>

#include "main/design.h"

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

// The netlist of the stage in `state` (a Success of SolveDesign: R1 ... R5
// as designed, the load Zo) with the op-amp as the five-pin subcircuit OPAMP
// (ideal by default: a voltage-controlled source of gain 1e7, high enough to
// be ideal to 1e-6 but for stages close to the stability limit, and low enough
// that a simulator's solver keeps its precision: at 1e9 its rounding errors,
// magnified by the gain, already reach 1e-6), a DC
// analysis and one .meas line per figure. Comments quote `inputs` and give
// Velmora's own figures with every digit, for comparison. Each line ends
// with `newline`; the text is UTF-8, with any control character of an input
// text written as "?". Never fails.
std::string MakeNetlist(const NetlistInputs& inputs, const main::DesignState& state,
                        std::string_view newline = "\n");

}  // namespace velmora::response
