#include "main/report.h"

#include "common/checked.h"
#include "common/numtext.h"
#include "common/series.h"

namespace velmora::main {

using common::FormatPadded;
using common::FormatSI;

ReportSource DefaultCaptions() {
  ReportSource s;
  s.LabelZo = u"Zo";
  s.LabelGain = u"Gain";
  s.LabelGu = u"dB";
  s.LabelR1 = u"R1";
  s.LabelR3 = u"R3";
  s.LabelR5 = u"R5";
  s.LabelZor = u"Zo";
  s.LabelGainr = u"Gain";
  s.LabelGur = u"dB";
  s.LabelR2 = u"R2";
  s.LabelR4 = u"R4";
  s.LabelZio = u"Zio";
  s.LabelDecr = u"η";
  return s;
}

std::u16string MakeReport(const ReportSource& s, std::u16string_view newline) {
  std::u16string out;
  out.reserve(256);
  auto line = [&](std::initializer_list<std::u16string_view> pieces) {
    for (std::u16string_view p : pieces) out += p;
    out += newline;
  };
  constexpr std::u16string_view eq = u" = ";
  line({u"[Input data]"});
  line({s.LabelZo, eq, s.EditZo});
  line({s.LabelGain, eq, s.EditGain, s.LabelGu});
  line({s.LabelR1, eq, s.EditR1});
  line({s.LabelR3, eq, s.EditR3});
  line({s.LabelR5, eq, s.EditR5});
  line({});
  line({u"[Result data]"});
  line({s.LabelZor, eq, s.EditZor});
  line({s.LabelGainr, eq, s.EditGainr, s.LabelGur});
  line({s.LabelR2, eq, s.EditR2});
  line({s.LabelR4, eq, s.EditR4});
  line({s.LabelZio, eq, s.EditZio});
  line({s.LabelDecr, eq, s.EditDecr});
  return out;
}

ResultTexts ComposeResults(const DesignState& state) {
  ResultTexts r;
  r.Zor = FormatSI(state.Zor, 8, 3);
  const common::Checked dB = common::Checked(20.0) * common::Log10(state.Gainr);
  r.Gainr = FormatPadded(dB.value(), 7, 3);
  r.R2 = FormatSI(state.R2, 8, 3);
  r.R4 = FormatSI(state.R4, 8, 3);
  r.Zio = FormatSI(state.Zio, 8, 3);
  r.Decr = FormatPadded((common::Checked(100.0) * state.Decr).value(), 3, 1) + u"%";
  return r;
}

void PutResults(ReportSource& s, const ResultTexts& r) {
  s.EditZor = r.Zor;
  s.EditGainr = r.Gainr;
  s.EditR2 = r.R2;
  s.EditR4 = r.R4;
  s.EditZio = r.Zio;
  s.EditDecr = r.Decr;
}

}  // namespace velmora::main
