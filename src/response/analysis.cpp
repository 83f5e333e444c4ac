#include "response/analysis.h"

#include <algorithm>
#include <cmath>

#include "common/checked.h"
#include "common/fp_error.h"
#include "response/scan.h"

namespace velmora::response {
namespace {

constexpr double kDegrees = 57.29577951308232;  // 180 / pi
constexpr double kDbuReference = 0.7745966692414834;  // sqrt(0.6) V rms
constexpr double kDriveFrequency = 1e3;

double Db(Complex ratio) { return 10.0 * std::log10(std::norm(ratio)); }
double Degrees(Complex z) { return std::arg(z) * kDegrees; }

// The frequencies where the op-amp's 1/Aol bends: GBW/A0, GBW, f2.
std::vector<double> OpAmpCorners(const Network& n) {
  std::vector<double> corners;
  if (n.invGbw > 0.0) {
    corners.push_back(1.0 / n.invGbw);
    if (n.invA0 > 0.0) corners.push_back(n.invA0 / n.invGbw);
  }
  if (n.invF2 > 0.0) corners.push_back(1.0 / n.invF2);
  return corners;
}

// The first frequency where the margin g turns negative, searched from
// well below the lowest corner (lowered further while g < 0 there: a stage
// close to its limit leaves a band far below the op-amp's own corners) to
// 10^4 above the highest, where the response has settled; NaN when there
// are no corners or g never turns.
template <class Margin>
double BandEdge(const std::vector<double>& corners, Margin&& g) {
  if (corners.empty()) return kNoValue;
  double lo = *std::min_element(corners.begin(), corners.end()) / 1e2;
  const double hi = *std::max_element(corners.begin(), corners.end()) * 1e4;
  while (g(lo) < 0 && lo > 1e-30) lo /= 10.0;
  return FirstExit(lo, hi, g);
}

// A figure that must have a value: NaN raises Invalid, an infinity Overflow.
void Require(double x) {
  if (std::isnan(x)) common::RaiseFault(common::FpFault::Invalid);
  if (std::isinf(x)) common::RaiseFault(common::FpFault::Overflow);
}
// A figure that may be missing (NaN) but never infinite.
void RequireOrNone(double x) {
  if (std::isinf(x)) common::RaiseFault(common::FpFault::Overflow);
}

void CheckReport(const FrequencyReport& r) {
  for (const SweepPoint& p : r.points) {
    for (double x : {p.f, p.zo, p.zoDeg, p.gainDb, p.gainDeg, p.gainOpenDb, p.zio, p.noise}) Require(x);
  }
  for (const DcFigures* d : {&r.dc, &r.ideal}) {
    for (double x : {d->zo, d->gainDb, d->zio, d->eta}) Require(x);
  }
  for (double x : {r.bandwidth.zo1pct, r.bandwidth.zo10pct, r.bandwidth.gain3db}) RequireOrNone(x);
  for (const Stability& s : r.stability) {
    if (std::isnan(s.loopGainDc)) common::RaiseFault(common::FpFault::Invalid);
    for (double x : {s.crossover, s.phaseMargin, s.phase180, s.gainMargin}) RequireOrNone(x);
  }
  const Drive& d = r.drive;
  for (double x : {d.level, d.levelDbu, d.shortCurrent, d.plainLevel, d.plainLevelDbu, d.headroomDb}) RequireOrNone(x);
  const NoiseFigures& n = r.noise;
  for (double x : {n.outDensity1k, n.outRms, n.outDbu, n.inDensity1k, n.inRms, n.plainOutDensity1k, n.plainOutRms,
                   n.plainOutDbu, n.plainInRms, n.costDb}) {
    Require(x);
  }
}

// The sine level at the load (V peak) that the op-amp's limits allow, and
// which limit sets it; per volt in, the pin is `pin` and its current `current`.
struct Level {
  double vin = kNoValue;
  DriveLimit limit = DriveLimit::None;
};
Level LimitLevel(Complex pin, Complex current, const OpAmp& op) {
  const double bySwing = op.vmax / std::abs(pin), byCurrent = op.imax / std::abs(current);
  Level l;
  if (std::isinf(bySwing) && std::isinf(byCurrent)) return l;
  l.limit = bySwing <= byCurrent ? DriveLimit::Swing : DriveLimit::Current;
  l.vin = std::min(bySwing, byCurrent);
  return l;
}

// The op-amp's output current per volt in: into R2 (toward In through R1)
// and into R5.
Complex PinCurrent(const Network& n, Complex pin, Complex out) {
  return (pin - 1.0) * n.g12 + (pin - out) * n.g5;
}

}  // namespace

std::vector<double> SweepFrequencies(const FrequencySettings& settings) {
  std::vector<double> f;
  const double fmin = settings.fmin, fmax = settings.fmax;
  if (!(fmin > 0.0 && fmax > fmin && std::isfinite(fmax) && settings.perDecade >= 1)) return f;
  const double ln10 = common::CheckedLn(10.0).value();
  const auto n = static_cast<double>(settings.perDecade);
  double decade = fmin;
  for (std::int64_t i = 0;; ++i) {
    const std::int64_t j = i % settings.perDecade;
    if (i > 0 && j == 0) decade *= 10.0;
    const double x = j == 0 ? decade
                            : decade * common::CheckedExp(common::Checked(ln10) * static_cast<double>(j) / n).value();
    if (!(x < fmax * (1.0 - 1e-9))) break;
    f.push_back(x);
  }
  f.push_back(fmax);
  return f;
}

double Dbu(double rmsVolts) { return 20.0 * std::log10(rmsVolts / kDbuReference); }

std::optional<Resistor> NonPositiveResistor(const main::DesignState& s) {
  for (const Resistor r : {Resistor{"R1", s.R1}, {"R2", s.R2}, {"R3", s.R3}, {"R4", s.R4}, {"R5", s.R5}}) {
    if (!(r.value > 0.0 && std::isfinite(r.value))) return r;
  }
  return std::nullopt;
}

DcFigures DcFiguresOf(const Network& n, double zo) {
  const Solution s = Solve(n, 0.0);
  const Load load = LoadOf(LoadCase::Zo, zo, 0.0);
  const Complex gain = GainInto(n, s, load);
  DcFigures d;
  d.zo = OutputImpedance(s).real();
  d.gainDb = Db(gain);
  d.zio = InputImpedance(n, s).real();
  d.eta = (gain / PinPerInput(n, s, load)).real();
  return d;
}

Bandwidth BandwidthOf(const Network& n, double zo, double cload) {
  Bandwidth b;
  std::vector<double> corners = OpAmpCorners(n);
  const double z0 = std::abs(OutputImpedance(Solve(n, 0.0)));
  const auto within = [&n, z0](double tolerance) {
    return [&n, z0, tolerance](double f) {
      return tolerance - std::abs(1.0 / std::sqrt(std::norm(Solve(n, f).yout)) / z0 - 1.0);
    };
  };
  b.zo1pct = BandEdge(corners, within(0.01));
  b.zo10pct = BandEdge(corners, within(0.10));

  const Load load = LoadOf(LoadCase::Zo, zo, cload);
  if (cload > 0.0) {
    corners.push_back(1.0 / (kTwoPi * cload * zo));
    corners.push_back(1.0 / (kTwoPi * cload * z0));
  }
  const double halfPower = std::norm(GainInto(n, Solve(n, 0.0), load)) / 2.0;
  b.gain3db = BandEdge(corners, [&](double f) { return std::norm(GainInto(n, Solve(n, f), load)) / halfPower - 1.0; });
  return b;
}

Drive DriveOf(const Network& stage, const Network& plain, const OpAmp& op, double zo, double cload) {
  Drive d;
  const Load load = LoadOf(LoadCase::Zo, zo, cload);
  const Solution s = Solve(stage, kDriveFrequency);
  const Complex out = GainInto(stage, s, load), pin = PinPerInput(stage, s, load);
  const Level l = LimitLevel(pin, PinCurrent(stage, pin, out), op);
  d.limit = l.limit;
  if (l.limit != DriveLimit::None) {
    d.level = std::abs(out) * l.vin;
    d.levelDbu = Dbu(d.level / std::sqrt(2.0));
    d.shortCurrent = stage.g5 * std::abs(s.q) * l.vin;  // Out at 0 V: the pin is Q vin
  }
  const Solution sp = Solve(plain, kDriveFrequency);
  const Complex plainOut = GainInto(plain, sp, load), plainPin = PinPerInput(plain, sp, load);
  const Level lp = LimitLevel(plainPin, PinCurrent(plain, plainPin, plainOut), op);
  d.plainLimit = lp.limit;
  if (lp.limit != DriveLimit::None) {
    d.plainLevel = std::abs(plainOut) * lp.vin;
    d.plainLevelDbu = Dbu(d.plainLevel / std::sqrt(2.0));
    d.headroomDb = 20.0 * std::log10(d.level / d.plainLevel);
  }
  return d;
}

FrequencyReport AnalyseFrequency(const main::DesignState& state, const OpAmp& op, const FrequencySettings& settings) {
  FrequencyReport r;
  r.opamp = op;
  r.settings = settings;
  const Network stage = Network::Designed(state, op);
  const Network plain = Network::Plain(state, op);
  const double zo = state.Zo, cl = settings.cload;
  const Load load = LoadOf(LoadCase::Zo, zo, cl);
  const double kT4 = FourKT(settings.tempC);

  for (double f : SweepFrequencies(settings)) {
    const Solution s = Solve(stage, f);
    const Complex gain = GainInto(stage, s, load), open = GainInto(stage, s, Load{});
    SweepPoint p;
    p.f = f;
    p.zo = 1.0 / std::sqrt(std::norm(s.yout));   // |1/Yout|
    p.zoDeg = -Degrees(s.yout);                  // arg(1/Yout), the same at -180 exactly
    p.gainDb = Db(gain);
    p.gainDeg = Degrees(gain);
    p.gainOpenDb = Db(open);
    p.zio = (stage.r1 + stage.r2) / std::sqrt(std::norm(1.0 - (s.p * open + s.q)));  // InputImpedance's magnitude
    double power = 0;
    for (double x : NoiseAt(stage, s, load, kT4, op.en, op.in)) power += x;
    p.noise = std::sqrt(power);
    r.points.push_back(p);
  }
  r.dc = DcFiguresOf(stage, zo);
  r.ideal = DcFiguresOf(Network::Designed(state, OpAmp{}), zo);
  r.bandwidth = BandwidthOf(stage, zo, cl);
  for (std::size_t i = 0; i < r.stability.size(); ++i) r.stability[i] = AnalyseStability(stage, kLoadCases[i], zo, cl);
  r.drive = DriveOf(stage, plain, op, zo, cl);
  r.noise = NoiseOf(stage, plain, op, zo, cl, settings.tempC);
  CheckReport(r);
  return r;
}

}  // namespace velmora::response
