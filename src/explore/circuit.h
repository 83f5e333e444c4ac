// A built circuit under tolerance: its five resistors, each scaled by a
// factor, evaluated through the design's own StoreAchievedValues in checked
// arithmetic.
#pragma once

#include <array>
#include <cstddef>

#include "main/design.h"

namespace velmora::explore {

// The explorer builds on the design engine's own types.
using main::DesignOutcome;
using main::DesignState;

inline constexpr std::size_t kResistors = 5;  // R1 ... R5
inline constexpr std::size_t kFigures = 4;    // Zo, gain in dB, Zio, eta
// The corners of the tolerance box: each resistor at one end or the other.
inline constexpr int kCorners = 1 << kResistors;

// The figures a tolerance analysis follows, by index into Figures::spread().
enum class Figure : std::size_t { Zo, GainDb, Zio, Eta };

// One factor per resistor, R1 ... R5.
using Factors = std::array<double, kResistors>;
// Every resistor at its nominal value.
inline constexpr Factors kNominalFactors{1.0, 1.0, 1.0, 1.0, 1.0};

// One resistor's factor for a coordinate x in [-1, 1] of a box of half-width
// `fraction` (pct / 100): 1 + fraction x. The worst case and the Monte Carlo
// draws use this one expression.
inline double Factor(double fraction, double x) { return 1.0 + fraction * x; }

// R1 ... R5 of a built circuit and the Zo it was designed for (the load of
// its gain and eta figures).
struct Circuit {
  double Zo = 0;
  std::array<double, kResistors> R{};
};

// The circuit of a calculated state: state.Zo and state.R1 ... state.R5.
Circuit CircuitOf(const DesignState& state);

struct Figures {
  double Zo = 0, Gain = 0, GainDb = 0, Zio = 0, Eta = 0;
  // Zo, GainDb, Zio, Eta in the order of Figure.
  std::array<double, kFigures> spread() const { return {Zo, GainDb, Zio, Eta}; }
};

// The circuit with each resistor i multiplied by factors[i]. Returns false,
// leaving `out` unspecified, when the output impedance is not positive and
// finite (the positive feedback then makes the stage unstable or latch) or
// when any operation faults; never throws.
bool EvaluateCircuit(const Circuit& circuit, const Factors& factors, Figures& out) noexcept;

// The same in a `scratch` state whose numbers it overwrites, so that a loop
// over many samples keeps one state instead of clearing a new one each time.
bool EvaluateCircuit(const Circuit& circuit, const Factors& factors, DesignState& scratch,
                     Figures& out) noexcept;

}  // namespace velmora::explore
