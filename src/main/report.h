// The result boxes' texts and the 14-line plain-text report.
#pragma once

#include <string>

#include "main/design.h"

namespace velmora::main {

// What the window shows: label captions and box texts, taken as they stand.
struct ReportSource {
  std::u16string LabelZo, LabelGain, LabelGu, LabelR1, LabelR3, LabelR5;
  std::u16string LabelZor, LabelGainr, LabelGur, LabelR2, LabelR4, LabelZio, LabelDecr;
  std::u16string EditZo, EditGain, EditR1, EditR3, EditR5;
  std::u16string EditZor, EditGainr, EditR2, EditR4, EditZio, EditDecr;
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
