// The stage as a small linear circuit, solved at one frequency in complex
// arithmetic.
//
// Nodes: In (driven by an ideal source vin, or 0 V), the inverting input n,
// the non-inverting input p, the op-amp's output pin a and Out o; the
// op-amp's internal source vs = Aol (v(p) - v(n)) reaches a through Ro.
// R1: In-n, R2: n-a, R5: a-o, R3: p-ground, R4: p-o; at Out a load of
// admittance YL and, for the output impedance, a test current. The nodal
// equations
//   n:  G1 (v(n) - vin) + G2 (v(n) - v(a)) = J(n)
//   p:  G3 v(p) + G4 (v(p) - v(o))         = J(p)
//   a:  (v(a) - vs)/Ro + G2 (v(a) - v(n)) + G5 (v(a) - v(o)) = J(a)
//   o:  G5 (v(o) - v(a)) + G4 (v(o) - v(p)) + YL v(o) = J(o)
// with the current sources J (noise, test current) are solved by eliminating
// n, p and vs in turn:
//   v(a) = P v(o) + Q vin + S,   v(o) (Yout + YL) = J(o) + beta J(p) + G5 (Q vin + S),
//   1/Aol = c = (1/A0 + j f/GBW)(1 + j f/f2),  d = c k + alpha2,  k = 1 + Ro (G12 + G5),
//   P = (beta + c Ro G5) / d,  Q = (c Ro G12 - alpha1) / d,  Yout = G5 (1 - P) + G34,
//   S = (c Ro (J(a) + alpha2 J(n)) + R34 J(p) - R12 J(n)) / d,
// where alpha1 = R2/(R1+R2), alpha2 = R1/(R1+R2), beta = R3/(R3+R4), G12 =
// 1/(R1+R2), G34 = 1/(R3+R4), R12 = R1 || R2, R34 = R3 || R4. Every quantity
// stays finite for A0 = GBW = inf (c = 0) and for Ro = 0.
//
// The plain build (the usual stage without positive feedback: the same R1
// and op-amp, (+) grounded, R2 = 2 G R1, R5 = Zo) is the same circuit with
// beta = G34 = R34 = 0, R3 and R4 absent.
//
// Nothing here checks its results: the analysis does (analysis.h).
#pragma once

#include <array>
#include <complex>

#include "main/design.h"
#include "response/opamp.h"

namespace velmora::response {

using Complex = std::complex<double>;

inline constexpr double kTwoPi = 6.283185307179586;

// What hangs at Out: a conductance and a capacitance to ground, or a short.
struct Load {
  double g = 0;          // S
  double c = 0;          // F
  bool shorted = false;  // Out tied to ground: g and c do not matter

  Complex Admittance(double f) const { return {g, kTwoPi * f * c}; }
};

// The circuit's constants: resistors, op-amp, and what the elimination uses.
struct Network {
  double r1 = 0, r2 = 0, r3 = 0, r4 = 0, r5 = 0;  // r3 = r4 = 0: absent (the plain build)
  double g5 = 0, g12 = 0, alpha1 = 0, alpha2 = 0, r12 = 0;
  double beta = 0, g34 = 0, r34 = 0;
  double ro = 0, k = 1;
  double invA0 = 0, invGbw = 0, invF2 = 0;  // 1/A0, 1/GBW (s), 1/f2 (s); 0 for inf
  bool plain = false;

  // The designed stage: R1 ... R5 of `state` (all positive).
  static Network Designed(const main::DesignState& state, const OpAmp& op);
  // The plain build for the same wanted Zo and gain (state.Zo, state.Gain).
  static Network Plain(const main::DesignState& state, const OpAmp& op);

  // c = 1/Aol at frequency f (Hz): (1/A0 + j f/GBW)(1 + j f/f2).
  Complex InverseGain(double f) const;
};

// The solution at one frequency without the load: P, Q, Yout and d above.
struct Solution {
  double f = 0;
  Complex c, d, invD, p, q, yout;
};
Solution Solve(const Network& n, double f);

// 1/z as conj(z) / |z|^2 (to within a few ulps of the library's division,
// several times faster), the library's division where |z|^2 would leave the
// range of doubles: an infinity or NaN for z = 0, as there.
Complex Inverse(Complex z);

// The output impedance 1/Yout: Out seen from the load, vin = 0, no load.
Complex OutputImpedance(const Solution& s);
// v(o)/vin with `load` at Out (0 for a short).
Complex GainInto(const Network& n, const Solution& s, const Load& load);
// v(a)/vin, the op-amp pin per volt in, with `load` at Out.
Complex PinPerInput(const Network& n, const Solution& s, const Load& load);
// The input impedance vin / i(R1) with Out open (no load at all).
Complex InputImpedance(const Network& n, const Solution& s);

// Output voltage per unit of each noise source, with `load` at Out and
// vin = 0: a current into n, p, a or o (V/A), and en in series with p (V/V).
struct NoiseTransfer {
  Complex n, p, a, o, en;
};
NoiseTransfer NoiseTransfers(const Network& n, const Solution& s, const Load& load);

// The noise sources, in the order the analysis reports them.
enum class NoiseSource { R1, R2, R3, R4, R5, En, InMinus, InPlus, Count };
inline constexpr std::size_t kNoiseSources = static_cast<std::size_t>(NoiseSource::Count);
using NoisePowers = std::array<double, kNoiseSources>;  // V^2/Hz at the output, per source

// Each source's output noise power density (V^2/Hz) at Out with `load`:
// 4kT/R of each resistor present (kT4 = 4 k T), en^2 and in^2 at each input.
NoisePowers NoiseAt(const Network& n, const Solution& s, const Load& load, double kT4, double en, double in);

}  // namespace velmora::response
