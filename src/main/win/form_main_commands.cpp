// The main window's commands: the Calculate command and the handlers of its
// controls (keys, buttons, selector), the report, printing, copying and
// saving the netlist.
#include <string>

#include "common/numtext.h"
#include "common/utf.h"
#include "common/win/clipboard.h"
#include "common/win/message_dialog.h"
#include "common/win/print_text.h"
#include "common/win/save_file.h"
#include "common/win/win_text.h"
#include "response/netlist.h"
#include "main/report.h"
#include "main/series_text.h"
#include "main/texts.h"
#include "main/win/form_main.h"

namespace velmora::main {

namespace {

// The six result boxes, in the order ClearResults empties them.
constexpr std::array kResultBoxes = {control::EditGainr, control::EditZor, control::EditR2,
                                     control::EditR4,    control::EditZio, control::EditDecr};

}  // namespace

void TFormMain::ButtonCalcClick() { Calculate(); }

void TFormMain::ComboBoxERChange() { Calculate(); }

// A choice from the selector's list: its edit part still shows the previous
// entry here, so the chosen one is read from the list.
void TFormMain::ComboBoxERChosen() {
  HWND combo = Item(control::ComboBoxER);
  const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  const LRESULT length = index >= 0 ? SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) : -1;
  if (length >= 0) {
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length));
    chosenSeries_ = common::FromWide(item);
  }
  struct Reset {
    std::optional<std::u16string>& s;
    ~Reset() { s.reset(); }
  } reset{chosenSeries_};
  ComboBoxERChange();
}

void TFormMain::ButtonExitClick() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

void TFormMain::LabelHelpClick() {
  if (links_.showHelp) links_.showHelp();
}

// ---- The Calculate command ----

void TFormMain::Calculate() {
  // However the calculation ends (a fault included), the program hears of it.
  struct TellAfter {
    const std::function<void()>& calculated;
    ~TellAfter() {
      if (calculated) calculated();
    }
  } tell{links_.calculated};
  design_.Valid = false;
  ReadSeries();
  const double gain = common::StrToValue(Text(control::EditGain));
  const double zo = common::StrToValue(Text(control::EditZo));
  const double r1 = common::StrToValue(Text(control::EditR1));
  const double r3 = common::StrToValue(Text(control::EditR3));
  const double r5 = common::StrToValue(Text(control::EditR5));
  calculated_ = DesignInputs{gain, zo, r1, r3, r5, design_.ER};
  switch (SolveDesign(*calculated_, design_)) {
    case DesignOutcome::NotANumber:
      ClearResults();
      break;
    case DesignOutcome::R5TooLarge:
      Warn(texts::R5TooLarge);
      ClearResults();
      break;
    case DesignOutcome::R3TooSmall:
      Warn(texts::R3TooSmall);
      ClearResults();
      EnableWindow(Item(control::ButtonPrint), FALSE);
      EnableWindow(Item(control::ButtonCopy), FALSE);
      break;
    case DesignOutcome::Success:
      EnableWindow(Item(control::ButtonPrint), TRUE);
      EnableWindow(Item(control::ButtonCopy), TRUE);
      ShowResults();
      break;
  }
}

void TFormMain::ReadSeries() {
  const std::u16string text = chosenSeries_ ? *chosenSeries_ : Text(control::ComboBoxER);
  design_.ER = StrToIntOrZero(text);
  seriesText_ = text;
  if (design_.ER == 0 && text != u"\u221E") {
    // Setting the text sends no change notification, so this does not recurse.
    seriesText_.assign(1, u'\u221E');
    SetWindowTextW(Item(control::ComboBoxER), L"\u221E");
  }
}

void TFormMain::ShowResults() {
  ResultTexts texts;
  try {
    texts = ComposeResults(design_);
  } catch (...) {
    // Never leave new results beside old ones: empty all six, then report.
    for (int id : kResultBoxes) SetText(id, u"");
    throw;
  }
  SetText(control::EditZor, texts.Zor);
  SetText(control::EditGainr, texts.Gainr);
  SetText(control::EditR2, texts.R2);
  SetText(control::EditR4, texts.R4);
  SetText(control::EditZio, texts.Zio);
  SetText(control::EditDecr, texts.Decr);
}

void TFormMain::ClearResults() {
  for (int id : kResultBoxes) SetText(id, u"");
}

void TFormMain::Warn(std::u16string_view text) {
  common::MessageBoxCentered(common::ToWide(text), common::MsgDlgType::Warning, common::msgdlg::kOK, 0, hwnd_);
}

std::u16string TFormMain::MakeReport() const {
  ReportSource s;
  for (const ControlRow& c : kMainWindowControls) {
    if (std::u16string* field = s.FieldOf(c.id)) *field = Text(c.id);
  }
  return main::MakeReport(s);
}

// Saves the designed stage as a SPICE netlist (UTF-8, CR LF), its comments
// quoting the input boxes as the report does.
void TFormMain::SaveNetlist() {
  if (!design_.Valid) return;
  const auto utf8 = [this](int id) { return common::Utf16ToUtf8(Text(id)); };
  const response::NetlistInputs inputs{utf8(control::EditZo), utf8(control::EditGain), utf8(control::EditR1),
                                      utf8(control::EditR3), utf8(control::EditR5),   utf8(control::ComboBoxER)};
  const std::string netlist = response::MakeNetlist(inputs, design_, "\r\n");
  const std::optional<std::wstring> path =
      common::AskSavePath(hwnd_, common::ToWide(texts::NetlistFilter), L"velmora.cir", L"cir");
  if (!path) return;
  if (const DWORD error = common::WriteWholeFile(*path, netlist); error != 0) {
    common::MessageBoxCentered(common::ToWide(texts::NetlistNotSaved) + L"\r\n" + *path + L"\r\n" +
                                   common::SystemErrorText(error),
                               common::MsgDlgType::Warning, common::msgdlg::kOK, 0, hwnd_);
  }
}

void TFormMain::ButtonPrintClick() { common::PrintText(hwnd_, MakeReport()); }

void TFormMain::ButtonCopyClick() {
  common::CopyTextToClipboard(hwnd_, MakeReport());
}

}  // namespace velmora::main
