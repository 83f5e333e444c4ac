// The op-amp of the frequency analysis, and a table of real parts.
//
// The model: an internal source vs = Aol(s) (v+ - v-) behind an output
// resistance Ro, with
//   Aol(s) = 1 / (1/A0 + s/wt) * 1 / (1 + s/w2),   wt = 2 pi GBW, w2 = 2 pi f2,
// so that A0 is the gain at DC and GBW the frequency where a single-pole
// part's gain falls to 1. A0 = inf gives an integrator, GBW = inf a flat gain
// of A0, f2 = inf no second pole; A0 = GBW = inf and Ro = 0 is the ideal
// op-amp. The inputs draw no current but their noise: a voltage noise en in
// series with one input and a current noise in into each input, both white.
// The output swings up to +-vmax (peak) at its pin and gives up to imax.
#pragma once

#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora::response {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct OpAmp {
  std::string name = "ideal";  // a preset's name, or "custom" once a value was given on its own
  double a0Db = kInfinity;     // open-loop gain at DC, dB (finite or inf: none)
  double gbw = kInfinity;      // gain-bandwidth product, Hz (> 0; inf: none)
  double f2 = kInfinity;       // second pole, Hz (> 0; inf: none)
  double ro = 0;               // output resistance, ohm (>= 0)
  double vmax = kInfinity;     // output swing, V peak (> 0; inf: no limit)
  double imax = kInfinity;     // output current limit, A (> 0; inf: no limit)
  double en = 0;               // input voltage noise, V/sqrt(Hz) (>= 0)
  double in = 0;               // input current noise at each input, A/sqrt(Hz) (>= 0)

  // A0 as a ratio: GainRatioFromDb(a0Db).
  double A0() const;
  // True for A0 = GBW = inf, Ro = 0: the op-amp of the design calculation.
  bool Ideal() const;
};

// A row of the table: typical values at +-15 V and 25 degC from the maker's
// data sheet, which `source` names.
struct Preset {
  const char* name;
  double a0Db, gbw, f2, ro, vmax, imax, en, in;
  const char* source;
};

// The presets in the order --opamp list shows them; "ideal" first.
std::span<const Preset> Presets();

// The preset called `name`, compared without regard to ASCII case; nullopt
// for none.
std::optional<OpAmp> FindPreset(std::string_view name);

// A gain in dB as a ratio: 10^(db/20) through the engine's exp, so that both
// builds agree bit for bit; inf for inf. Throws common::FloatingPointError
// (Overflow) beyond the range of doubles.
double GainRatioFromDb(double db);

}  // namespace velmora::response
