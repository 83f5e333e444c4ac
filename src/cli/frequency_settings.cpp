#include "cli/frequency_settings.h"

#include <iterator>
#include <optional>
#include <string>

#include "cli/diagnostics.h"
#include "common/numtext.h"
#include "common/utf.h"
#include "response/frequency_fields.h"

namespace velmora::cli {
namespace {

using response::FrequencyField;

// One option's value as the shared reader takes it; kBadValue with the
// option named and what it expects otherwise.
int Read(const std::optional<std::u16string>& text, FrequencyField field, const char* option, const char* expected,
         response::OpAmp& op, response::FrequencySettings& settings) {
  if (!text) return kOk;
  const std::optional<double> x = response::ReadFrequencyField(field, *text);
  if (!x) return BadValue(option, *text, expected);
  response::SetField(field, *x, op, settings);
  return kOk;
}

}  // namespace

int ReadFrequency(const FrequencyTexts& t, FrequencyRun& run) {
  run.listPresets = ListsPresets(t);
  run.modelGiven = t.ModelGiven();
  response::OpAmp& op = run.opamp;
  op = *response::FindPreset("ideal");
  if (t.opamp && !run.listPresets) {
    const std::optional<response::OpAmp> preset = response::FindPreset(common::Utf16ToUtf8(*t.opamp));
    if (!preset) return BadValue("--opamp", *t.opamp, "a preset (--opamp list shows them)");
    op = *preset;
  }
  const std::string base = op.name;
  response::FrequencySettings& s = run.settings;
  const struct {
    const std::optional<std::u16string>* text;
    FrequencyField field;
    const char* option;
    const char* expected;
  } reads[] = {
      // In the order of FrequencyField: the op-amp's values first.
      {&t.a0, FrequencyField::A0, "--a0", "a gain in dB from -600 to 600, or ∞"},
      {&t.gbw, FrequencyField::Gbw, "--gbw", "a frequency above 0 Hz, or ∞"},
      {&t.f2, FrequencyField::F2, "--f2", "a frequency above 0 Hz, or ∞ (no second pole)"},
      {&t.ro, FrequencyField::Ro, "--ro", "a resistance of 0 ohm or more"},
      {&t.en, FrequencyField::En, "--en", "a noise density of 0 V/√Hz or more"},
      {&t.in, FrequencyField::In, "--in", "a noise density of 0 A/√Hz or more"},
      {&t.vmax, FrequencyField::Vmax, "--vmax", "a voltage above 0 V, or ∞"},
      {&t.imax, FrequencyField::Imax, "--imax", "a current above 0 A, or ∞"},
      {&t.cload, FrequencyField::Cload, "--cload", "a capacitance of 0 F or more"},
      {&t.temp, FrequencyField::Temp, "--temp", "a temperature above -273.15 °C"},
      {&t.fmin, FrequencyField::Fmin, "--fmin", "a frequency from 1m to 1T Hz"},
      {&t.fmax, FrequencyField::Fmax, "--fmax", "a frequency from 1m to 1T Hz"},
      {&t.perDecade, FrequencyField::PerDecade, "--per-decade", "a whole number from 1 to 1000"},
  };
  static_assert(std::size(reads) == response::kFrequencyFields);
  bool changed = false;  // a value of the op-amp given on its own
  for (std::size_t k = 0; k < std::size(reads); ++k) {
    const auto& r = reads[k];
    if (const int code = Read(*r.text, r.field, r.option, r.expected, op, s); code != kOk) return code;
    changed = changed || (k < response::kOpAmpFields && r.text->has_value());
  }
  if (!(s.fmin < s.fmax)) {
    return t.fmax ? BadValue("--fmax", *t.fmax, "a frequency above --fmin")
                  : BadValue("--fmin", *t.fmin, "a frequency below --fmax");
  }
  if (changed) op.name = t.opamp ? base + " (changed)" : "custom";
  return kOk;
}

const char* const kFrequencyHelp =
    "Frequency response with a real op-amp (instead of the report):\n"
    "  --frequency      the designed stage (the report's R1 ... R5) driven by an\n"
    "                   ideal source into the load Zo || CL, with the op-amp\n"
    "                   vs = Aol(s) (v+ - v-) behind Ro,\n"
    "                   Aol(s) = 1 / (1/A0 + s/(2 pi GBW)) / (1 + s/(2 pi f2)),\n"
    "                   inputs drawing no current but their noise: from FMIN to\n"
    "                   FMAX |Zo| and its phase (load removed, In at 0 V), the gain\n"
    "                   into the load and with no load, |Zio| (Out open) and the\n"
    "                   output noise; the DC figures beside the ideal op-amp's;\n"
    "                   the bandwidths (|Zo| within +-1 % and +-10 % of DC, the gain\n"
    "                   -3 dB); the loop gain T broken at the op-amp's source for\n"
    "                   the loads zo, open (CL stays) and short: crossover, phase\n"
    "                   margin, gain margin, and whether 1 + T(0) <= 0 latches it;\n"
    "                   the largest sine at 1 kHz the swing and current allow, and\n"
    "                   the same for the plain build (inverting stage, (+) grounded,\n"
    "                   feedback 2 G R1, series resistor Zo); the noise over\n"
    "                   20 Hz - 20 kHz from R1 ... R5, en and in, and the plain\n"
    "                   build's. Needs a design that succeeds with R1 ... R5 > 0\n"
    "  --opamp NAME     start from a preset (typical values at +-15 V; each option\n"
    "                   below given on its own overrides it): ideal, NE5532, TL072,\n"
    "                   OPA2134, OPA1612, LM4562, NJM4580; --opamp list prints them\n"
    "                                                        (default ideal)\n"
    "  --a0 DB          open-loop gain at DC in dB, or ∞\n"
    "  --gbw HZ         gain-bandwidth product, or ∞\n"
    "  --f2 HZ          second pole, or ∞ for none\n"
    "  --ro OHM         output resistance                    (ideal: 0)\n"
    "  --en V           input voltage noise, V/√Hz (5n)      (ideal: 0)\n"
    "  --in A           input current noise at each input, A/√Hz (0.7p)\n"
    "  --vmax V         output swing, V peak, or ∞           (ideal: ∞)\n"
    "  --imax A         output current limit (40m), or ∞     (ideal: ∞)\n"
    "  --cload F        load capacitance CL beside Zo (a cable) (default 0)\n"
    "  --temp C         temperature of the resistors' noise, °C (default 25)\n"
    "  --fmin HZ        the sweep's lowest frequency, 1m to 1T (default 10)\n"
    "  --fmax HZ        and its highest, above FMIN          (default 10M)\n"
    "  --per-decade N   sweep points per decade, 1 to 1000   (default 20)\n"
    "  --plot PATH      also write the Bode picture as SVG to PATH: |Zo| in ohms\n"
    "                   with its +-1 % band, the gain in dB, the crossover marked\n"
    "  --format F       text, csv or json, as for the explorer; json members:\n"
    "                   design, opamp, dc, ideal, bandwidth, stability, drive,\n"
    "                   noise, noise_sources, points; null where a figure does not\n"
    "                   exist, and for an infinite op-amp value\n"
    "Values are read as the boxes read theirs: 10M, 4n7, 100p; \"∞\", \"inf\" or\n"
    "\"infinity\" is infinite. A bad value exits 7 naming the option; a design\n"
    "with a warning or fault exits with its usual status and no figures; a\n"
    "design with a resistor <= 0 exits 7; a figure that is not a finite number\n"
    "(a stage exactly at its limit) exits 6 with the floating-point message.\n"
    "With --netlist, any of these options puts the op-amp model in the netlist\n"
    "(two poles, Ro, CL, the noise sources) with .ac over the sweep, .noise and\n"
    ".meas ac lines for Zo and the gain at 1 kHz and 20 kHz.\n"
    "\n";

}  // namespace velmora::cli
