// The result boxes' texts and the 14-line plain-text report.
#pragma once

#include <string>

#include "main/design.h"
#include "main/main_window.h"

namespace velmora::main {

// What the window shows: the caption or text of each control that the
// report quotes (the rows marked Report in main/main_window.def), taken as
// they stand.
struct ReportSource {
#define VELMORA_REPORT_Report(name) std::u16string name;
#define VELMORA_REPORT_NoReport(name)
#define VELMORA_CONTROL(name, kind, align, left, top, width, height, tab, enabled, handlers, size, text, hint, \
                        report)                                                                              \
  VELMORA_REPORT_##report(name)
#include "main/main_window.def"
#undef VELMORA_CONTROL
#undef VELMORA_REPORT_Report
#undef VELMORA_REPORT_NoReport

  // The field of control `id`; nullptr for a control the report does not quote.
  std::u16string* FieldOf(int id);
};

// The window's own captions, for callers that have no window (the CLI, tests).
ReportSource DefaultCaptions();

// The captions and the input boxes' initial texts ("600", "0.0", "10k",
// "10k", "68"); the result boxes empty.
ReportSource InitialWindowTexts();

// 14 lines, each ending with `newline` (CR LF for the clipboard and printer).
// Texts are copied unchanged; never fails.
std::u16string MakeReport(const ReportSource& source, std::u16string_view newline = u"\r\n");

// The six result texts, in the order the boxes are written.
struct ResultTexts {
  std::u16string Zor, Gainr, R2, R4, Zio, Decr;
};

// Composes all six texts from a calculated state. The gain in dB needs
// Gainr > 0: otherwise common::FloatingPointError (DivideByZero for 0,
// Invalid for a negative ratio) is thrown and no text is returned.
ResultTexts ComposeResults(const DesignState& state);

// Fills the result-box fields of `source` (the captions and inputs stay).
void PutResults(ReportSource& source, const ResultTexts& results);

}  // namespace velmora::main
