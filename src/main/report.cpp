#include "main/report.h"

#include <algorithm>

#include "common/checked.h"
#include "common/numtext.h"
#include "common/series.h"
#include "main/texts.h"

namespace velmora::main {

using common::FormatPadded;
using common::FormatSI;

ReportSource DefaultCaptions() {
  ReportSource s;
  s.LabelZo = std::u16string(texts::LabelZo);
  s.LabelGain = std::u16string(texts::LabelGain);
  s.LabelGu = std::u16string(texts::LabelGu);
  s.LabelR1 = std::u16string(texts::LabelR1);
  s.LabelR3 = std::u16string(texts::LabelR3);
  s.LabelR5 = std::u16string(texts::LabelR5);
  s.LabelZor = std::u16string(texts::LabelZor);
  s.LabelGainr = std::u16string(texts::LabelGainr);
  s.LabelGur = std::u16string(texts::LabelGur);
  s.LabelR2 = std::u16string(texts::LabelR2);
  s.LabelR4 = std::u16string(texts::LabelR4);
  s.LabelZio = std::u16string(texts::LabelZio);
  s.LabelDecr = std::u16string(texts::LabelDecr);
  return s;
}

ReportSource InitialWindowTexts() {
  ReportSource s = DefaultCaptions();
  s.EditZo = std::u16string(texts::EditZo);
  s.EditGain = std::u16string(texts::EditGain);
  s.EditR1 = std::u16string(texts::EditR1);
  s.EditR3 = std::u16string(texts::EditR3);
  s.EditR5 = std::u16string(texts::EditR5);
  return s;
}

std::u16string MakeReport(const ReportSource& s, std::u16string_view newline) {
  constexpr std::u16string_view eq = u" = ";
  const std::u16string_view nl = newline;
  // The 14 lines as pieces, each line closed by its line end.
  const std::u16string_view pieces[] = {
      u"[Input data]", nl,
      s.LabelZo, eq, s.EditZo, nl,
      s.LabelGain, eq, s.EditGain, s.LabelGu, nl,
      s.LabelR1, eq, s.EditR1, nl,
      s.LabelR3, eq, s.EditR3, nl,
      s.LabelR5, eq, s.EditR5, nl,
      nl,
      u"[Result data]", nl,
      s.LabelZor, eq, s.EditZor, nl,
      s.LabelGainr, eq, s.EditGainr, s.LabelGur, nl,
      s.LabelR2, eq, s.EditR2, nl,
      s.LabelR4, eq, s.EditR4, nl,
      s.LabelZio, eq, s.EditZio, nl,
      s.LabelDecr, eq, s.EditDecr, nl,
  };
  std::size_t size = 0;
  for (std::u16string_view p : pieces) size += p.size();
  std::u16string out(size, u'\0');
  auto at = out.begin();
  for (std::u16string_view p : pieces) at = std::copy(p.begin(), p.end(), at);
  return out;
}

ResultTexts ComposeResults(const DesignState& state) {
  ResultTexts r;
  r.Zor = FormatSI(state.Zor, 8, 3);
  r.Gainr = FormatPadded(GainDb(state.Gainr), 7, 3);
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
