#include "response/netlist.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/fp_error.h"
#include "common/table.h"
#include "common/utf.h"
#include "main/report.h"
#include "response/stage.h"

namespace velmora::response {

namespace {

using common::ShortestText;

// The netlist's text, line by line.
class Lines {
 public:
  explicit Lines(std::string_view newline) : newline_(newline) { text_.reserve(4000); }
  void operator()(std::string_view line) {
    text_ += line;
    text_ += newline_;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
  std::string_view newline_;
};

// The text as a comment may hold it: every control character (U+0000 to
// U+001F, U+007F to U+009F) becomes "?", so that a text can never end the
// comment line, and whatever is not UTF-8 (a stray byte, an encoded
// surrogate) becomes U+FFFD.
std::string CommentText(std::string_view text) {
  std::u16string units = common::Utf8ToUtf16(text);
  for (char16_t& c : units) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u'?';
  }
  return common::Utf16ToUtf8(units);
}

// The program's gain in dB for the comment; "not defined" when the achieved
// gain has no logarithm.
std::string GainDbText(double gainr) {
  try {
    return ShortestText(main::GainDb(gainr));
  } catch (const common::FloatingPointError&) {
    return "not defined";
  }
}

void Heading(Lines& line, const NetlistInputs& inputs) {
  line("* Velmora: inverting stage whose output impedance is set by positive feedback");
  line("* Inputs: Zo \"" + CommentText(inputs.zo) + "\", gain \"" + CommentText(inputs.gain) +
       "\" dB, R1 \"" + CommentText(inputs.r1) + "\", R3 \"" + CommentText(inputs.r3) +
       "\", R5 \"" + CommentText(inputs.r5) + "\", series \"" + CommentText(inputs.series) + "\"");
}

void StageSubcircuit(Lines& line, const main::DesignState& s) {
  line("* The stage: R1 from In to the inverting input, R2 from there to the");
  line("* amplifier's output (amp), R5 from amp to Out, R3 from the non-inverting");
  line("* input to ground, R4 from the non-inverting input to Out.");
  line(".subckt STAGE in out amp vcc vee");
  line("R1 in inn " + ShortestText(s.R1));
  line("R2 inn amp " + ShortestText(s.R2));
  line("R5 amp out " + ShortestText(s.R5));
  line("R3 inp 0 " + ShortestText(s.R3));
  line("R4 inp out " + ShortestText(s.R4));
  line("XOA inp inn vcc vee amp OPAMP");
  line(".ends STAGE");
  line("");
  line("VCC vcc 0 15");
  line("VEE vee 0 -15");
}

// The largest relative difference of the four DC figures from the report's
// (the gain compared as a ratio); NaN when one is not a number.
double WorstDifference(const DcFigures& d, const main::DesignState& s) {
  const auto rel = [](double a, double b) { return std::abs(a - b) / std::abs(b); };
  const double diffs[] = {rel(d.zo, s.Zor), rel(std::pow(10.0, d.gainDb / 20.0), s.Gainr), rel(d.zio, s.Zio),
                          rel(d.eta, s.Decr)};
  double worst = 0;
  for (double x : diffs) {
    if (std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
    worst = std::max(worst, x);
  }
  return worst;
}

// The DC figures of the stage with an op-amp of DC gain `gain` (no poles, Ro 0).
DcFigures WithGain(const main::DesignState& s, double gain) {
  Network n = Network::Designed(s, OpAmp{});
  n.invA0 = 1.0 / gain;
  return DcFiguresOf(n, s.Zo);
}

// x rounded up to two significant digits.
double RoundUp2(double x) {
  const double scale = std::pow(10.0, std::floor(std::log10(x)) - 1);
  return std::ceil(x / scale * (1 - 1e-12)) * scale;
}

std::string Figures(const DcFigures& d) {
  return "zo = " + ShortestText(d.zo) + ", gain_db = " + ShortestText(d.gainDb) + ", zio = " + ShortestText(d.zio) +
         ", eta = " + ShortestText(d.eta);
}

// The op-amp model as the subcircuit OPAMP, every part noiseless but en and in.
void OpAmpSubcircuit(Lines& line, const OpAmp& op, double kT4) {
  const bool ideal = op.a0Db == kInfinity && op.gbw == kInfinity;
  line("* OPAMP: the op-amp model, with the usual five pins (non-inverting input,");
  line("* inverting input, positive supply, negative supply, output; the supplies");
  line("* unused). vs = Aol (v+ - v-) reaches the output through Ro, with");
  line("* Aol = 1/(1/A0 + s/(2 pi GBW)) / (1 + s/(2 pi f2)): a 1 S transconductance");
  line("* into a node of conductance 1/A0 and capacitance 1/(2 pi GBW), a second");
  line("* such node for f2. Conductances are written as controlled sources, which");
  line("* have no noise: the only noise is en (a resistor of thermal noise en^2");
  line("* in series with +) and in (a resistor's noise current copied into each input).");
  line(".subckt OPAMP inp inn vcc vee out");
  std::string plus = "inp";
  if (op.en > 0) {
    line("REN inp inpn " + ShortestText(op.en * op.en / kT4));
    plus = "inpn";
  }
  if (op.in > 0) {
    const std::string r = ShortestText(kT4 / (op.in * op.in));
    for (const char* pin : {"inp", "inn"}) {
      const std::string name = pin == std::string_view("inp") ? "P" : "N";
      line("RNI" + name + " ni" + name + " 0 " + r);
      line("VNI" + name + " ni" + name + " 0 0");
      line("FNI" + name + " 0 " + pin + " VNI" + name + " 1");
    }
  }
  std::string node = "x";
  if (ideal) {
    line("* A0 and GBW infinite: a gain of 1e7 (a simulator needs a finite one).");
    line("EA x 0 " + plus + " inn " + ShortestText(kNetlistGain));
  } else {
    line("GA 0 x " + plus + " inn 1");
    if (op.a0Db != kInfinity) line("GX x 0 x 0 " + ShortestText(1.0 / op.A0()));
    if (op.gbw != kInfinity) line("CX x 0 " + ShortestText(1.0 / (kTwoPi * op.gbw)));
  }
  if (op.f2 != kInfinity && !ideal) {
    line("GB 0 y x 0 1");
    line("GY y 0 y 0 1");
    line("CY y 0 " + ShortestText(1.0 / (kTwoPi * op.f2)));
    node = "y";
  }
  if (op.ro > 0) {
    line("EO z 0 " + node + " 0 1");
    line("GRO z out z out " + ShortestText(1.0 / op.ro));
  } else {
    line("EO out 0 " + node + " 0 1");
  }
  line(".ends OPAMP");
  line("");
}

std::string OrNone(double x, const char* none) { return x == kInfinity ? none : ShortestText(x); }

}  // namespace

std::optional<FiniteGainError> NetlistGainError(const main::DesignState& s) {
  const double tolerance = 1e-4;
  const DcFigures written = WithGain(s, kNetlistGain);
  const double worst = WorstDifference(written, s);
  if (!(worst > tolerance)) return std::nullopt;
  // The error falls about as 1/A: the first decade of A where it is within
  // the tolerance, then bisection of its logarithm.
  double lo = std::log10(kNetlistGain), hi = lo;
  while (hi < 30 && !(WorstDifference(WithGain(s, std::pow(10.0, hi)), s) <= tolerance)) hi += 1;
  for (int i = 0; i < 40 && hi > lo; ++i) {
    const double mid = (lo + hi) / 2;
    (WorstDifference(WithGain(s, std::pow(10.0, mid)), s) <= tolerance ? hi : lo) = mid;
  }
  return FiniteGainError{written, RoundUp2(std::pow(10.0, hi))};
}

std::string MakeNetlist(const NetlistInputs& inputs, const main::DesignState& s, std::string_view newline) {
  const std::string zo = ShortestText(s.Zo);
  Lines line(newline);
  Heading(line, inputs);
  line("* Velmora's figures for this circuit, with an ideal op-amp (the .meas names):");
  line("*   zo      = " + ShortestText(s.Zor) + "  output impedance at Out, In grounded (ohm)");
  line("*   gain_db = " + GainDbText(s.Gainr) + "  gain in dB into a load of Zo = " + zo + " ohm");
  line("*   zio     = " + ShortestText(s.Zio) + "  input impedance at In, Out open (ohm)");
  line("*   eta     = " + ShortestText(s.Decr) +
       "  share of the amplifier's output voltage reaching Out, loaded with Zo");
  if (const std::optional<FiniteGainError> e = NetlistGainError(s)) {
    line("* With OPAMP as written (gain 1e7) this stage is too close to its limit for");
    line("* an ideal op-amp: the netlist gives, more than 1e-4 off these figures,");
    line("*   as written: " + Figures(e->asWritten));
    line("* and needs a gain of " + ShortestText(e->gainNeeded) + " or more to bring all four within 1e-4.");
  }
  line("*");
  line("* OPAMP is the op-amp, with the usual five pins: non-inverting input,");
  line("* inverting input, positive supply, negative supply, output. The default");
  line("* is ideal: a voltage-controlled voltage source of gain 1e7 that leaves");
  line("* the supplies unused. For a real op-amp, .include the vendor's model and");
  line("* put its name in place of OPAMP on the XOA line below (or delete these");
  line("* three lines and name the model OPAMP).");
  line(".subckt OPAMP inp inn vcc vee out");
  line("EOA out 0 inp inn 1e7");
  line(".ends OPAMP");
  line("");
  StageSubcircuit(line, s);
  line("* The stimulus, swept up to 1 V; the figures are read at 1 V.");
  line("VIN vin 0 1");
  line("");
  line("* Output impedance: In grounded, 1 A per volt of VIN driven into Out.");
  line("XZO 0 out_zo amp_zo vcc vee STAGE");
  line("GZO 0 out_zo vin 0 1");
  line("BZO n_zo 0 V=V(out_zo)/V(vin)");
  line("");
  line("* Gain and eta: VIN at In, Out loaded with Zo.");
  line("XG vin out_g amp_g vcc vee STAGE");
  line("RLOAD out_g 0 " + zo);
  line("BGAIN n_gain_db 0 V=20*log10(abs(V(out_g)/V(vin)))");
  line("BETA n_eta 0 V=V(out_g)/V(amp_g)");
  line("");
  line("* Input impedance: VIN at In through a current sense, Out open.");
  line("VSENSE vin in_zi 0");
  line("XZI in_zi out_zi amp_zi vcc vee STAGE");
  line("BZIO n_zio 0 V=V(vin)/I(VSENSE)");
  line("");
  line(".dc VIN 0.5 1 0.5");
  line(std::string(".meas dc ") + kMeasZo + " find V(n_zo) at=1");
  line(std::string(".meas dc ") + kMeasGainDb + " find V(n_gain_db) at=1");
  line(std::string(".meas dc ") + kMeasZio + " find V(n_zio) at=1");
  line(std::string(".meas dc ") + kMeasEta + " find V(n_eta) at=1");
  line(".end");
  return line.Take();
}

std::string MakeModelNetlist(const NetlistInputs& inputs, const main::DesignState& s, const OpAmp& op,
                             const FrequencySettings& settings, std::string_view newline) {
  // The figures of the netlist as written: an infinite A0 and GBW become kNetlistGain.
  OpAmp written = op;
  if (op.a0Db == kInfinity && op.gbw == kInfinity) written.a0Db = 20.0 * std::log10(kNetlistGain);
  FrequencySettings at;
  at.fmin = 1e3;
  at.fmax = 20e3;
  at.perDecade = 1;
  at.cload = settings.cload;
  at.tempC = settings.tempC;
  const FrequencyReport r = AnalyseFrequency(s, written, at);
  const SweepPoint& p1k = r.points.front();
  const SweepPoint& p20k = r.points.back();
  const double kT4 = FourKT(settings.tempC);
  const std::string zo = ShortestText(s.Zo);
  const std::string sweep = "dec " + std::to_string(settings.perDecade) + " " + ShortestText(settings.fmin) + " " +
                            ShortestText(settings.fmax);

  Lines line(newline);
  Heading(line, inputs);
  line("* Op-amp " + CommentText(op.name) + ": A0 " + OrNone(op.a0Db, "inf") + " dB, GBW " + OrNone(op.gbw, "inf") +
       " Hz, f2 " + OrNone(op.f2, "none") + " Hz, Ro " + ShortestText(op.ro) + " ohm, en " + ShortestText(op.en) +
       " V/rtHz, in " + ShortestText(op.in) + " A/rtHz; load Zo = " + zo + " ohm || CL = " +
       ShortestText(settings.cload) + " F; " + ShortestText(settings.tempC) + " degC");
  line("* Velmora's figures for this circuit with this op-amp (the .meas names):");
  line("*   zo_1k    = " + ShortestText(p1k.zo) + "  |Zo| at 1 kHz, load removed, In grounded (ohm)");
  line("*   zo_20k   = " + ShortestText(p20k.zo) + "  |Zo| at 20 kHz");
  line("*   gain_1k  = " + ShortestText(p1k.gainDb) + "  gain in dB at 1 kHz into Zo || CL");
  line("*   gain_20k = " + ShortestText(p20k.gainDb) + "  gain in dB at 20 kHz");
  line("*   the output noise at 1 kHz (.noise at out_g) " + ShortestText(r.noise.outDensity1k) + " V/rtHz;");
  line("*   at DC " + Figures(r.dc) + ";");
  line("*   with an ideal op-amp " + Figures(r.ideal) + ".");
  line("*");
  OpAmpSubcircuit(line, op, kT4);
  StageSubcircuit(line, s);
  line("* The stimulus: 1 V of AC at In; the node voltages are the transfer functions.");
  line("VIN vin 0 DC 0 AC 1");
  line("");
  line("* Output impedance: In grounded, 1 A per volt of VIN driven into Out.");
  line("XZO 0 out_zo amp_zo vcc vee STAGE");
  line("GZO 0 out_zo vin 0 1");
  line("");
  line("* Gain, eta and noise: VIN at In, Out loaded with Zo (a conductance: no");
  line("* noise of its own) and CL.");
  line("XG vin out_g amp_g vcc vee STAGE");
  line("GLOAD out_g 0 out_g 0 " + ShortestText(1.0 / s.Zo));
  if (settings.cload > 0) line("CLOAD out_g 0 " + ShortestText(settings.cload));
  line("");
  line("* Input impedance: VIN at In through a current sense, Out open.");
  line("VSENSE vin in_zi 0");
  line("XZI in_zi out_zi amp_zi vcc vee STAGE");
  line("");
  line(".temp " + ShortestText(settings.tempC));
  line("* ngspice reports the .meas lines of the last analysis it runs only, and it");
  line("* runs .noise after .ac; LTspice runs one analysis at a time. To see the");
  line("* noise, put * before .ac and remove it before .noise.");
  line(".ac " + sweep);
  line("*.noise V(out_g) VIN " + sweep);
  line("* ngspice needs .save all for vm() and vdb() in .meas (LTspice saves all and");
  line("* writes mag(V(x)) and 20*log10(mag(V(x))) instead).");
  line(".save all");
  line(".meas ac zo_1k find vm(out_zo) at=1e3");
  line(".meas ac zo_20k find vm(out_zo) at=20e3");
  line(".meas ac gain_1k find vdb(out_g) at=1e3");
  line(".meas ac gain_20k find vdb(out_g) at=20e3");
  line(".end");
  return line.Take();
}

}  // namespace velmora::response
