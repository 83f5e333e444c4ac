// A brute-force reference for the stage's closed forms: the same circuit
// stamped element by element into a modified nodal analysis matrix and
// solved by Gaussian elimination with partial pivoting. Slow and general:
// nothing of the elimination in stage.cpp is shared.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

namespace velmora::testing {

using Cx = std::complex<double>;
using CxLong = std::complex<long double>;  // the reference solves in extended precision

// Nodes 1..6: in, n (inverting input), p (non-inverting), a (op-amp pin),
// o (Out), x (the internal source, behind Ro; the pin itself when Ro = 0).
// Unknowns: the six node voltages, the current of the source at In, the
// current of the op-amp's source.
struct Mna {
  enum Node { kIn = 0, kN, kP, kA, kO, kX, kNodes };
  static constexpr std::size_t kSize = kNodes + 2;
  std::array<std::array<CxLong, kSize>, kSize> m{};
  std::array<CxLong, kSize> rhs{};

  // An admittance between two nodes (-1: ground).
  void Admit(int i, int j, Cx admittance) {
    const CxLong y(admittance.real(), admittance.imag());
    const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>(j);
    if (i >= 0) m[a][a] += y;
    if (j >= 0) m[b][b] += y;
    if (i >= 0 && j >= 0) {
      m[a][b] -= y;
      m[b][a] -= y;
    }
  }
  // A current source pushing `i` into node `to`.
  void Inject(int to, Cx i) { rhs[static_cast<std::size_t>(to)] += CxLong(i.real(), i.imag()); }

  std::array<CxLong, kSize> Solve() const {
    auto a = m;
    auto b = rhs;
    const std::size_t n = kSize;
    for (std::size_t col = 0; col < n; ++col) {
      std::size_t pivot = col;
      for (std::size_t r = col + 1; r < n; ++r) {
        if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
      }
      std::swap(a[col], a[pivot]);
      std::swap(b[col], b[pivot]);
      for (std::size_t r = col + 1; r < n; ++r) {
        const CxLong factor = a[r][col] / a[col][col];
        for (std::size_t c = col; c < n; ++c) a[r][c] -= factor * a[col][c];
        b[r] -= factor * b[col];
      }
    }
    std::array<CxLong, kSize> x{};
    for (std::size_t i = n; i-- > 0;) {
      CxLong sum = b[i];
      for (std::size_t c = i + 1; c < n; ++c) sum -= a[i][c] * x[c];
      x[i] = sum / a[i][i];
    }
    return x;
  }
};

// The stage's parameters for the reference.
struct RefCircuit {
  double r1, r2, r3, r4, r5;  // r3 <= 0: (+) grounded, R3 and R4 absent (the plain build)
  double ro;
  Cx invGain;                 // 1/Aol at the frequency
  Cx load;                    // admittance at Out
  bool shorted = false;       // Out tied to ground
};

// What drives the circuit.
struct RefDrive {
  Cx vin = 0;                          // the source at In
  std::array<Cx, Mna::kNodes> inject{};  // currents into the nodes
  Cx en = 0;                           // in series with the + input
  bool breakLoop = false;              // the op-amp's source is an independent 1 V (the loop broken there)
};

// The node voltages of `c` under `d`.
inline std::array<Cx, Mna::kNodes> SolveReference(const RefCircuit& c, const RefDrive& d) {
  Mna mna;
  const int in = Mna::kIn, n = Mna::kN, p = Mna::kP, a = Mna::kA, o = Mna::kO;
  const int x = c.ro > 0 ? static_cast<int>(Mna::kX) : a;
  mna.Admit(in, n, 1.0 / c.r1);
  mna.Admit(n, a, 1.0 / c.r2);
  mna.Admit(a, o, 1.0 / c.r5);
  if (c.r3 > 0) {
    mna.Admit(p, -1, 1.0 / c.r3);
    mna.Admit(p, o, 1.0 / c.r4);
  } else {
    mna.Admit(p, -1, 1e30);  // (+) tied to ground
  }
  if (c.ro > 0) mna.Admit(x, a, 1.0 / c.ro);
  else mna.Admit(Mna::kX, -1, 1.0);  // the unused node held at 0
  mna.Admit(o, -1, c.shorted ? Cx(1e30) : c.load);
  for (int i = 0; i < Mna::kNodes; ++i) mna.Inject(i, d.inject[static_cast<std::size_t>(i)]);
  // The source at In: v(in) = vin, its current the unknown kNodes.
  const std::size_t js = Mna::kNodes, jo = Mna::kNodes + 1;
  mna.m[in][js] += 1.0L;
  mna.m[js][in] += 1.0L;
  mna.rhs[js] = CxLong(d.vin.real(), d.vin.imag());
  // The op-amp's source at x: its current the unknown kNodes + 1; its
  // equation c v(x) = v(p) + en - v(n), or v(x) = 1 with the loop broken.
  mna.m[static_cast<std::size_t>(x)][jo] += 1.0L;
  if (d.breakLoop) {
    mna.m[jo][static_cast<std::size_t>(x)] = 1.0L;
    mna.rhs[jo] = 1.0L;
  } else {
    mna.m[jo][static_cast<std::size_t>(x)] = CxLong(c.invGain.real(), c.invGain.imag());
    mna.m[jo][p] = -1.0L;
    mna.m[jo][n] = 1.0L;
    mna.rhs[jo] = CxLong(d.en.real(), d.en.imag());
  }
  const auto sol = mna.Solve();
  std::array<Cx, Mna::kNodes> v{};
  for (std::size_t i = 0; i < v.size(); ++i) {
    v[i] = Cx(static_cast<double>(sol[i].real()), static_cast<double>(sol[i].imag()));
  }
  if (c.ro <= 0) v[Mna::kX] = v[Mna::kA];
  return v;
}

}  // namespace velmora::testing
