#include "main/report.h"

#include <algorithm>

#include "common/checked.h"
#include "common/numtext.h"
#include "common/series.h"
#include "main/texts.h"

namespace velmora::main {

using common::FormatPadded;
using common::FormatSI;

std::u16string* ReportSource::FieldOf(int id) {
  switch (id) {
#define VELMORA_REPORT_Report(name) \
  case control::name:               \
    return &name;
#define VELMORA_REPORT_NoReport(name)
#define VELMORA_CONTROL(name, kind, align, left, top, width, height, tab, enabled, handlers, size, text, hint, \
                        report)                                                                              \
  VELMORA_REPORT_##report(name)
#include "main/main_window.def"
#undef VELMORA_CONTROL
#undef VELMORA_REPORT_Report
#undef VELMORA_REPORT_NoReport
    default:
      return nullptr;
  }
}

namespace {

// The report's fields as the window starts: with `boxes`, the boxes' initial
// texts too, else the labels' captions alone.
ReportSource AtStart(bool boxes) {
  ReportSource s;
  for (const ControlRow& c : kMainWindowControls) {
    if (c.inReport && (boxes || c.kind == ControlKind::Label)) *s.FieldOf(c.id) = std::u16string(c.text);
  }
  return s;
}

}  // namespace

ReportSource DefaultCaptions() { return AtStart(false); }

ReportSource InitialWindowTexts() { return AtStart(true); }

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
