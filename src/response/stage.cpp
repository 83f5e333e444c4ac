#include "response/stage.h"

namespace velmora::response {
namespace {

// 1/x, with 0 for an infinite x.
double Reciprocal(double x) { return x == kInfinity ? 0.0 : 1.0 / x; }

// The op-amp's part of the constants, and the ones R1, R2 and R5 give.
void SetCommon(Network& n, const OpAmp& op) {
  n.g5 = 1.0 / n.r5;
  n.g12 = 1.0 / (n.r1 + n.r2);
  n.alpha1 = n.r2 / (n.r1 + n.r2);
  n.alpha2 = n.r1 / (n.r1 + n.r2);
  n.r12 = n.r1 * n.r2 / (n.r1 + n.r2);
  n.ro = op.ro;
  n.k = 1.0 + op.ro * (n.g12 + n.g5);
  n.invA0 = Reciprocal(op.A0());
  n.invGbw = Reciprocal(op.gbw);
  n.invF2 = Reciprocal(op.f2);
}

// The load admittance YL; a short is handled by the callers.
Complex LoadAdmittance(const Load& load, double f) { return load.Admittance(f); }

}  // namespace

Complex Inverse(Complex z) {
  const double n = z.real() * z.real() + z.imag() * z.imag();
  if (n > 1e-300 && n < 1e300) return {z.real() / n, -z.imag() / n};
  return 1.0 / z;
}

Network Network::Designed(const main::DesignState& state, const OpAmp& op) {
  Network n;
  n.r1 = state.R1;
  n.r2 = state.R2;
  n.r3 = state.R3;
  n.r4 = state.R4;
  n.r5 = state.R5;
  n.beta = n.r3 / (n.r3 + n.r4);
  n.g34 = 1.0 / (n.r3 + n.r4);
  n.r34 = n.r3 * n.r4 / (n.r3 + n.r4);
  SetCommon(n, op);
  return n;
}

Network Network::Plain(const main::DesignState& state, const OpAmp& op) {
  Network n;
  n.plain = true;
  n.r1 = state.R1;
  n.r2 = 2.0 * state.Gain * state.R1;
  n.r5 = state.Zo;
  SetCommon(n, op);
  return n;
}

Complex Network::InverseGain(double f) const {
  const Complex first(invA0, f * invGbw);
  return invF2 == 0.0 ? first : first * Complex(1.0, f * invF2);
}

Solution Solve(const Network& n, double f) {
  Solution s;
  s.f = f;
  s.c = n.InverseGain(f);
  s.d = s.c * n.k + n.alpha2;
  s.invD = Inverse(s.d);
  s.p = (n.beta + s.c * (n.ro * n.g5)) * s.invD;
  s.q = (s.c * (n.ro * n.g12) - n.alpha1) * s.invD;
  s.yout = n.g5 * (1.0 - s.p) + n.g34;
  return s;
}

Complex OutputImpedance(const Solution& s) { return Inverse(s.yout); }

Complex GainInto(const Network& n, const Solution& s, const Load& load) {
  if (load.shorted) return 0.0;
  return n.g5 * s.q * Inverse(s.yout + LoadAdmittance(load, s.f));
}

Complex PinPerInput(const Network& n, const Solution& s, const Load& load) {
  return s.p * GainInto(n, s, load) + s.q;
}

Complex InputImpedance(const Network& n, const Solution& s) {
  return (n.r1 + n.r2) / (1.0 - PinPerInput(n, s, Load{}));
}

NoiseTransfer NoiseTransfers(const Network& n, const Solution& s, const Load& load) {
  NoiseTransfer t;
  if (load.shorted) return t;  // Out is held at 0 V
  const Complex invY = Inverse(s.yout + LoadAdmittance(load, s.f));
  const Complex w = n.g5 * s.invD * invY;  // v(o) per volt of the source term S's numerator
  t.o = invY;
  t.p = n.beta * invY + w * n.r34;
  t.a = w * (s.c * n.ro);
  t.n = w * (s.c * (n.ro * n.alpha2) - n.r12);
  t.en = w;
  return t;
}

NoisePowers NoiseAt(const Network& n, const Solution& s, const Load& load, double kT4, double en, double in) {
  const NoiseTransfer t = NoiseTransfers(n, s, load);
  NoisePowers p{};
  auto at = [&p](NoiseSource source) -> double& { return p[static_cast<std::size_t>(source)]; };
  // A resistor's noise is a current 4kT/R between its two nodes.
  at(NoiseSource::R1) = kT4 / n.r1 * std::norm(t.n);
  at(NoiseSource::R2) = kT4 / n.r2 * std::norm(t.n - t.a);
  at(NoiseSource::R5) = kT4 / n.r5 * std::norm(t.a - t.o);
  if (!n.plain) {
    at(NoiseSource::R3) = kT4 / n.r3 * std::norm(t.p);
    at(NoiseSource::R4) = kT4 / n.r4 * std::norm(t.p - t.o);
  }
  at(NoiseSource::En) = en * en * std::norm(t.en);
  at(NoiseSource::InMinus) = in * in * std::norm(t.n);
  at(NoiseSource::InPlus) = in * in * std::norm(t.p);
  return p;
}

}  // namespace velmora::response
