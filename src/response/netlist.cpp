#include "response/netlist.h"

#include "common/fp_error.h"
#include "common/table.h"
#include "main/report.h"

namespace velmora::response {

namespace {

using common::ShortestText;


// The text as a comment may hold it: control characters become "?", so a
// text can never end the comment line.
std::string CommentText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7f) ? '?' : c;
  }
  return out;
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

}  // namespace

std::string MakeNetlist(const NetlistInputs& inputs, const main::DesignState& s, std::string_view newline) {
  const std::string zo = ShortestText(s.Zo);
  std::string n;
  n.reserve(3000);
  const auto line = [&n, newline](std::string_view text) {
    n += text;
    n += newline;
  };
  line("* Velmora: inverting stage whose output impedance is set by positive feedback");
  line("* Inputs: Zo \"" + CommentText(inputs.zo) + "\", gain \"" + CommentText(inputs.gain) +
       "\" dB, R1 \"" + CommentText(inputs.r1) + "\", R3 \"" + CommentText(inputs.r3) +
       "\", R5 \"" + CommentText(inputs.r5) + "\", series \"" + CommentText(inputs.series) + "\"");
  line("* Velmora's figures for this circuit, with an ideal op-amp (the .meas names):");
  line("*   zo      = " + ShortestText(s.Zor) + "  output impedance at Out, In grounded (ohm)");
  line("*   gain_db = " + GainDbText(s.Gainr) + "  gain in dB into a load of Zo = " + zo + " ohm");
  line("*   zio     = " + ShortestText(s.Zio) + "  input impedance at In, Out open (ohm)");
  line("*   eta     = " + ShortestText(s.Decr) +
       "  share of the amplifier's output voltage reaching Out, loaded with Zo");
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
  return n;
}

}  // namespace velmora::response
