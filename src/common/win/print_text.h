// Printing a plain text: the printer dialog, the print job on the chosen
// printer and the device side of the line printer (common/print_layout.h).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velmora::common {

// The document name the print queue shows, and the face the text is set in
// ("ＭＳ 明朝": fullwidth M, fullwidth S, a space, U+660E, U+671D).
inline constexpr wchar_t kPrintJobName[] = L"Kestrine";
inline constexpr wchar_t kPrintFontFace[] = L"\uFF2D\uFF33 \u660E\u671D";

struct PrintStyle {
  std::wstring_view jobName = kPrintJobName;
  std::wstring_view fontFace = kPrintFontFace;
};

// The printer and its settings (paper, orientation, copies, ...) confirmed in
// the printer dialog, kept for the run. Owns the dialog's DEVMODE and
// DEVNAMES memory.
class PrinterChoice {
 public:
  PrinterChoice() = default;
  ~PrinterChoice();
  PrinterChoice(const PrinterChoice&) = delete;
  PrinterChoice& operator=(const PrinterChoice&) = delete;

  // Shows the printer dialog, modal to `owner`, opening with the current
  // choice (the system's default printer while there is none), centred
  // horizontally on the active window's monitor with a third of the spare
  // height above it. Confirmed: the choice is adopted and a device context
  // for it returned, which the caller deletes. Cancelled, or no printer
  // installed: returns nullptr and the choice stays as it was. Throws
  // std::runtime_error("Printer selected is not valid") when the dialog
  // fails otherwise or yields no device context.
  HDC Choose(HWND owner);

  // The chosen printer's name; empty before the first confirmed dialog.
  std::wstring DeviceName() const;

  // An information context for the current choice, or for the system's
  // default printer while there is none; nullptr when there is no printer.
  // The caller deletes it.
  HDC CreateInfoContext() const;

 private:
  HGLOBAL devMode_ = nullptr;
  HGLOBAL devNames_ = nullptr;
};

// The run's printer choice, used by PrintText and PrinterPhysicalOffset().
PrinterChoice& CurrentPrinter();

// Shows the printer dialog (CurrentPrinter().Choose) and prints `text`
// (UTF-16, CR LF line ends) on the chosen printer with PrintTextOn. A
// cancelled dialog prints nothing and says nothing. Errors are thrown as
// std::runtime_error with the message for the user; see PrintTextOn.
void PrintText(HWND owner, std::u16string_view text, const PrintStyle& style = {});

// Prints `text` as one job on the printer behind `printer`, which stays the
// caller's: the job named style.jobName, the face style.fontFace at 9 points
// for the printer's vertical resolution, the first line's top-left corner
// PrintMarginLeft and PrintMarginTop from the paper's edges, the text laid
// out by LayOutPrintJob. While the job is handed over, and between the runs
// drawn (at most every 20 ms), pending window messages are dispatched. Every page and the document are ended and the
// device's font and text colour put back on every path. Throws
// std::runtime_error with
//   "Printer selected is not valid"     when `printer` is null (nothing printed);
//   "Printing in progress"              while another job is being handed over
//                                       (nothing printed, that job goes on);
//   "Printer is not currently printing" when the document or a page cannot
//                                       be started.
void PrintTextOn(HDC printer, std::u16string_view text, const PrintStyle& style = {});

// The printer's physical offsets (PHYSICALOFFSETX, PHYSICALOFFSETY): the
// distance in device pixels from the paper's left and top edges to the
// printable area.
POINT PrinterPhysicalOffset(HDC printer);
// The same for the current printer (CurrentPrinter().CreateInfoContext());
// throws std::runtime_error("Printer selected is not valid") without one.
POINT PrinterPhysicalOffset();

}  // namespace velmora::common
