// The design calculation: from the wanted Zo, gain, R1, R3 and R5 to R2 and
// R4 rounded to a series, refined by a neighbour search, and what the built
// circuit achieves.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::main {

struct DesignState {
  double Gain = 0;   // required gain ratio, 10^(dB/20)
  double Gainr = 0;  // achieved gain magnitude into a load equal to Zo
  double Zo = 0;     // required output impedance
  double Zor = 0;    // achieved output impedance
  double Decr = 0;   // eta: share of the amplifier output reaching Out under load Zo
  double Zio = 0;    // input impedance with Out unloaded
  double R1 = 0;
  double R2 = 0;
  double R3 = 0;
  double R4 = 0;
  double R5 = 0;
  std::int32_t ER = 0;  // series steps per decade, 0 = no series
  bool Valid = false;
};

enum class DesignOutcome { NotANumber, R5TooLarge, R3TooSmall, Success };

// What a calculation starts from: the five values of the window's input
// boxes as StrToValue reads them (NaN: not a number) and the series number.
// The window, the command line and every analysis take their design as this.
struct DesignInputs {
  double gainDb = 0, Zo = 0, R1 = 0, R3 = 0, R5 = 0;
  std::int32_t ER = 0;  // series steps per decade, 0 = no series

  // The same values with series `er` instead.
  constexpr DesignInputs WithSeries(std::int32_t er) const {
    DesignInputs in = *this;
    in.ER = er;
    return in;
  }
};

// Fills `state` from the five engineering values (NaN = not a number) and the
// series number. Returns the outcome; throws common::FloatingPointError (and
// nothing else) at the step where an operation faults, leaving what had been
// stored up to then, with Valid false.
DesignOutcome SolveDesign(double gainDb, double Zo, double R1, double R3, double R5,
                          std::int32_t ER, DesignState& state);
// The same, from the inputs as one value.
DesignOutcome SolveDesign(const DesignInputs& in, DesignState& state);

// The output impedance at Out that the pair (r2, r4) gives with R1, R3, R5:
// (R3 + r4) R5 / ((R3 + r4 + R5) - (r2 / R1 + 1) R3). Throws only
// common::FloatingPointError.
double PairOutputImpedance(double R1, double r2, double R3, double r4, double R5);

// What the circuit built from state.R1 ... state.R5 achieves against state.Zo:
// writes Zor, Gainr, Decr and Zio, in this order, so that a fault leaves the
// ones before it written. Throws only common::FloatingPointError.
void StoreAchievedValues(DesignState& state);

// One step of the neighbour search, in search order.
struct Candidate {
  double r4 = 0, r2 = 0;
  double t = 0;         // the pair's output impedance
  bool skipped = false; // t not positive: not compared
  double m = 0;         // max(t / Zo, Zo / t), when not skipped
  bool chosen = false;  // best so far when this pair was tried
};

// Searches the 3 x 3 neighbourhood of the rounded pair (R2, R4) in series ER
// (ER != 0) for the pair whose output impedance is nearest to Zo in ratio;
// replaces R2 and R4 with it. Ties keep the earlier pair. Throws only
// common::FloatingPointError.
// When `trace` is given, each tried pair is appended to it.
void RefinePair(double Zo, double R1, double R3, double R5, double& R2, double& R4,
                std::int32_t ER, std::vector<Candidate>* trace = nullptr);

// A gain ratio in dB: 20 Log10(ratio). Faults as Log10 (DivideByZero for 0,
// Invalid for a negative ratio).
double GainDb(double ratio);

}  // namespace velmora::main
