#include "response/opamp.h"

#include <array>

#include "common/checked.h"

namespace velmora::response {
namespace {

constexpr double kInf = kInfinity;

// Typical values at +-15 V, 25 degC: A0 (dB), GBW, f2, Ro, Vmax (the output
// swing into the heaviest load the sheet lists), Imax (the short-circuit
// current), en and in at 1 kHz. No sheet gives a second pole or an open-loop
// output resistance as a number except where one is set; those stay inf and 0.
constexpr std::array<Preset, 7> kPresets{{
    // The ideal op-amp of the design calculation: no limit of any kind.
    {"ideal", kInf, kInf, kInf, 0, kInf, kInf, 0, 0, "the design calculation's ideal op-amp"},
    // Texas Instruments SLOS075K (NE5532): AVD 100 V/mV (RL >= 2 kohm), B1 10 MHz,
    // VOM +-13 V (RL >= 600 ohm), IOS 38 mA, Vn 5 nV/rtHz, In 0.7 pA/rtHz.
    {"NE5532", 100, 10e6, kInf, 0, 13, 38e-3, 5e-9, 0.7e-12, "Texas Instruments SLOS075K"},
    // Texas Instruments SLOS080W (TL072): AVD 200 V/mV, B1 3 MHz, VOM +-12 V
    // (RL >= 2 kohm), Vn 18 nV/rtHz, In 0.01 pA/rtHz; the short-circuit current,
    // which that sheet does not give, from STMicroelectronics DocID 2298 Rev 7: 40 mA.
    {"TL072", 106, 3e6, kInf, 0, 12, 40e-3, 18e-9, 0.01e-12, "Texas Instruments SLOS080W; ST DocID 2298 Rev 7"},
    // Texas Instruments SBOS058B (OPA2134): AOL 120 dB, GBW 8 MHz, output
    // within 2 V of the supplies into 600 ohm, ISC 40 mA, en 8 nV/rtHz, in 3 fA/rtHz.
    {"OPA2134", 120, 8e6, kInf, 0, 13, 40e-3, 8e-9, 3e-15, "Texas Instruments SBOS058B"},
    // Texas Instruments SBOS450C (OPA1612): AOL 130 dB, GBW 40 MHz, output
    // within 1 V of the supplies into 600 ohm, ISC 55 mA, en 1.1 nV/rtHz, in 1.7 pA/rtHz.
    {"OPA1612", 130, 40e6, kInf, 0, 14, 55e-3, 1.1e-9, 1.7e-12, "Texas Instruments SBOS450C"},
    // Texas Instruments SNAS326 (LM4562): AVOL 140 dB, GBWP 55 MHz, VOUT +-13.6 V
    // (RL = 600 ohm), IOUT-CC -42 mA (the smaller side), ROUT open loop 13 ohm,
    // en 2.7 nV/rtHz, in 1.6 pA/rtHz.
    {"LM4562", 140, 55e6, kInf, 13, 13.6, 42e-3, 2.7e-9, 1.6e-12, "Texas Instruments SNAS326"},
    // New Japan Radio NJM4580 data sheet: AV 110 dB, GB 15 MHz, VOM +-13.5 V
    // (RL >= 2 kohm). Its noise is given only as 0.8 uVrms (RIAA, RS = 2.2 kohm),
    // not as densities, and no current limit is given: en, in 0 and Imax
    // unlimited, to be given with --en, --in and --imax.
    {"NJM4580", 110, 15e6, kInf, 0, 13.5, kInf, 0, 0, "New Japan Radio NJM4580 data sheet"},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

double OpAmp::A0() const { return GainRatioFromDb(a0Db); }

bool OpAmp::Ideal() const { return a0Db == kInfinity && gbw == kInfinity && ro == 0.0; }

std::span<const Preset> Presets() { return kPresets; }

std::optional<OpAmp> FindPreset(std::string_view name) {
  for (const Preset& p : kPresets) {
    if (!SameName(p.name, name)) continue;
    OpAmp op;
    op.name = p.name;
    op.a0Db = p.a0Db;
    op.gbw = p.gbw;
    op.f2 = p.f2;
    op.ro = p.ro;
    op.vmax = p.vmax;
    op.imax = p.imax;
    op.en = p.en;
    op.in = p.in;
    return op;
  }
  return std::nullopt;
}

double GainRatioFromDb(double db) {
  if (db == kInfinity) return kInfinity;
  return common::CheckedExp(common::CheckedLn(10.0) * db / 20.0).value();
}

}  // namespace velmora::response
