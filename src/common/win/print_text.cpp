#include "common/win/print_text.h"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/print_layout.h"
#include "common/win/handles.h"
#include "common/win/message_dialog.h"

namespace velmora::common {
namespace {

// The common dialogs are loaded when the first print starts: importing them
// would pull the shell libraries into every start of the program.
struct CommonDialogs {
  decltype(&::PrintDlgW) printDlg = nullptr;
  decltype(&::CommDlgExtendedError) extendedError = nullptr;
};

const CommonDialogs& Dialogs() {
  static const CommonDialogs dialogs = [] {
    CommonDialogs d;
    if (HMODULE module = LoadLibraryW(L"comdlg32.dll")) {
      d.printDlg = reinterpret_cast<decltype(&::PrintDlgW)>(
          reinterpret_cast<void*>(GetProcAddress(module, "PrintDlgW")));
      d.extendedError = reinterpret_cast<decltype(&::CommDlgExtendedError)>(
          reinterpret_cast<void*>(GetProcAddress(module, "CommDlgExtendedError")));
    }
    return d;
  }();
  return dialogs;
}

BOOL ShowPrintDialog(PRINTDLGW* pd) {
  const CommonDialogs& d = Dialogs();
  if (d.printDlg == nullptr) throw std::runtime_error("Printer selected is not valid");
  return d.printDlg(pd);
}

DWORD ExtendedError() {
  const CommonDialogs& d = Dialogs();
  return d.extendedError != nullptr ? d.extendedError() : 0;
}

constexpr char kNotValid[] = "Printer selected is not valid";
constexpr char kNotPrinting[] = "Printer is not currently printing";
constexpr char kInProgress[] = "Printing in progress";
constexpr int kFontPoints = 9;

// True from the start of a document until it has been ended.
bool g_jobInProgress = false;

// ---- Global memory of the printer dialog ----

HGLOBAL CopyGlobal(HGLOBAL source) {
  if (source == nullptr) return nullptr;
  const SIZE_T size = GlobalSize(source);
  const void* from = GlobalLock(source);
  if (from == nullptr) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  void* to = copy != nullptr ? GlobalLock(copy) : nullptr;
  if (to != nullptr) {
    std::memcpy(to, from, size);
    GlobalUnlock(copy);
  } else if (copy != nullptr) {
    GlobalFree(copy);
    copy = nullptr;
  }
  GlobalUnlock(source);
  return copy;
}

void FreeGlobal(HGLOBAL& memory) {
  if (memory != nullptr) GlobalFree(memory);
  memory = nullptr;
}

// The strings of a DEVNAMES block, copied out.
struct DeviceNames {
  std::wstring driver, device, output;
};

DeviceNames ReadDeviceNames(HGLOBAL devNames) {
  DeviceNames names;
  const auto* dn = devNames != nullptr ? static_cast<const DEVNAMES*>(GlobalLock(devNames)) : nullptr;
  if (dn == nullptr) return names;
  const auto* base = reinterpret_cast<const wchar_t*>(dn);
  names.driver = base + dn->wDriverOffset;
  names.device = base + dn->wDeviceOffset;
  names.output = base + dn->wOutputOffset;
  GlobalUnlock(devNames);
  return names;
}

// Places the printer dialog once it exists: centred horizontally on the
// monitor of the window that was active when it was asked for, a third of
// the spare height above it.
UINT_PTR CALLBACK PlacePrintDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam) noexcept {
  if (message != WM_INITDIALOG) return 0;
  const auto* pd = reinterpret_cast<const PRINTDLGW*>(lParam);
  const RECT area = MonitorWorkArea(reinterpret_cast<HWND>(pd->lCustData));
  RECT outer{};
  if (GetWindowRect(dialog, &outer)) {
    const ScreenPoint at = PrintDialogPosition({area.left, area.top, area.right, area.bottom},
                                               outer.right - outer.left, outer.bottom - outer.top);
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return TRUE;  // let the dialog set the focus
}

// ---- The print job ----

// Keeps the program's windows working while the printer service takes the
// job; never aborts it.
BOOL CALLBACK KeepWindowsResponsive(HDC, int) noexcept {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // leave it for the main loop
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    HWND main = AppMainWindow();
    if (main != nullptr && IsDialogMessageW(main, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return TRUE;
}

// The document and its current page, ended when it goes out of scope.
class Document {
 public:
  Document(HDC dc, std::wstring_view name) : dc_(dc) {
    if (g_jobInProgress) throw std::runtime_error(kInProgress);
    const std::wstring title(name);
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszDocName = title.c_str();
    g_jobInProgress = true;  // the abort callback may already run inside StartDocW
    if (StartDocW(dc_, &info) <= 0) {
      g_jobInProgress = false;
      throw std::runtime_error(kNotPrinting);
    }
    if (StartPage(dc_) <= 0) {
      EndDoc(dc_);
      g_jobInProgress = false;
      throw std::runtime_error(kNotPrinting);
    }
  }
  ~Document() {
    EndPage(dc_);
    EndDoc(dc_);
    g_jobInProgress = false;
  }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  void NextPage() {
    EndPage(dc_);
    if (StartPage(dc_) <= 0) throw std::runtime_error(kNotPrinting);
  }

 private:
  HDC dc_;
};

// The printer's font and text colour while the text is drawn; the device's
// own are put back when it goes out of scope.
class TextFont {
 public:
  explicit TextFont(HDC dc) : dc_(dc) {}
  ~TextFont() {  // puts the device's own back before the font is deleted
    if (!font_) return;
    SelectObject(dc_, savedFont_);
    SetTextColor(dc_, savedColour_);
  }
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

  // Creates the face at kFontPoints for the printer's vertical resolution,
  // regular, default character set, and selects it with the window-text colour.
  void Create(std::wstring_view face) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(kFontPoints, GetDeviceCaps(dc_, LOGPIXELSY), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    const std::size_t n = std::min(face.size(), std::size(lf.lfFaceName) - 1);
    face.copy(lf.lfFaceName, n);
    font_.reset(CreateFontIndirectW(&lf));
    if (!font_) throw std::runtime_error(kNotValid);
    savedFont_ = SelectObject(dc_, font_.get());
    savedColour_ = SetTextColor(dc_, GetSysColor(COLOR_WINDOWTEXT));
  }

  // Selects it again, for devices that reset the context on a new page.
  void Reselect() const {
    SelectObject(dc_, font_.get());
    SetTextColor(dc_, GetSysColor(COLOR_WINDOWTEXT));
  }

 private:
  HDC dc_;
  UniqueFont font_;
  HGDIOBJ savedFont_ = nullptr;
  COLORREF savedColour_ = 0;
};

// Measures with the font selected into the printer's device context.
class DeviceMeasurer final : public TextMeasurer {
 public:
  explicit DeviceMeasurer(HDC dc) : dc_(dc) {
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc_, &tm)) {
      averageWidth_ = tm.tmAveCharWidth;
      charHeight_ = tm.tmHeight;
    }
  }
  std::int32_t RunWidth(std::u16string_view run) const override { return Extent(run).cx; }
  std::int32_t RunHeight(std::u16string_view run) const override { return Extent(run).cy; }
  std::int32_t AverageCharWidth() const override { return averageWidth_; }
  std::int32_t CharHeight() const override { return charHeight_; }

 private:
  SIZE Extent(std::u16string_view run) const {
    SIZE size{};
    if (!GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t*>(run.data()),
                               static_cast<int>(run.size()), &size)) {
      size = {};
    }
    return size;
  }

  HDC dc_;
  std::int32_t averageWidth_ = 0;
  std::int32_t charHeight_ = 0;
};

// Draws on the printer; a new page re-applies the origin and the font.
//
// Drawing is what takes the time in a long job: Wine's PostScript driver
// spends about a millisecond on each character, and the print service may
// call the abort callback only when the document starts. So the sink runs
// the callback itself whenever kPumpMs have passed since it last did, and
// the windows stay responsive while the pages are drawn.
class DeviceSink final : public LayoutSink {
 public:
  DeviceSink(HDC dc, Document& document, const TextFont& font, DevicePoint origin)
      : dc_(dc), document_(document), font_(font), origin_(origin) {
    ApplyOrigin();
  }
  void DrawRun(std::int32_t x, std::int32_t y, std::u16string_view run) override {
    TextOutW(dc_, x, y, reinterpret_cast<const wchar_t*>(run.data()), static_cast<int>(run.size()));
    KeepResponsive();
  }
  void NewPage() override {
    document_.NextPage();
    ApplyOrigin();
    font_.Reselect();
    KeepResponsive();
  }

 private:
  static constexpr ULONGLONG kPumpMs = 20;

  void ApplyOrigin() const { SetViewportOrgEx(dc_, origin_.x, origin_.y, nullptr); }
  void KeepResponsive() {
    const ULONGLONG now = GetTickCount64();
    if (now - pumped_ < kPumpMs) return;
    KeepWindowsResponsive(dc_, 0);
    pumped_ = GetTickCount64();
  }

  HDC dc_;
  Document& document_;
  const TextFont& font_;
  DevicePoint origin_;
  ULONGLONG pumped_ = GetTickCount64();
};

}  // namespace

// ---- PrinterChoice ----

PrinterChoice::~PrinterChoice() {
  FreeGlobal(devMode_);
  FreeGlobal(devNames_);
}

HDC PrinterChoice::Choose(HWND owner) {
  HWND active = GetActiveWindow();
  PRINTDLGW pd{};
  pd.lStructSize = sizeof pd;
  pd.hwndOwner = owner;
  // The dialog works on copies, so that a cancel leaves the choice untouched
  // whatever the dialog did with the memory it was given.
  pd.hDevMode = CopyGlobal(devMode_);
  pd.hDevNames = CopyGlobal(devNames_);
  pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_HIDEPRINTTOFILE |
             PD_USEDEVMODECOPIESANDCOLLATE | PD_NOWARNING | PD_ENABLEPRINTHOOK;
  pd.nCopies = 1;
  pd.lpfnPrintHook = PlacePrintDialog;
  pd.lCustData = reinterpret_cast<LPARAM>(active != nullptr ? active : owner);
  if (!ShowPrintDialog(&pd)) {
    FreeGlobal(pd.hDevMode);
    FreeGlobal(pd.hDevNames);
    switch (ExtendedError()) {
      case 0:                   // cancelled
      case PDERR_NODEVICES:     // no printer at all: the dialog has said so
      case PDERR_NODEFAULTPRN:
        return nullptr;
      default:
        throw std::runtime_error(kNotValid);
    }
  }
  FreeGlobal(devMode_);
  FreeGlobal(devNames_);
  devMode_ = pd.hDevMode;
  devNames_ = pd.hDevNames;
  if (pd.hDC == nullptr) throw std::runtime_error(kNotValid);
  return pd.hDC;
}

std::wstring PrinterChoice::DeviceName() const { return ReadDeviceNames(devNames_).device; }

HDC PrinterChoice::CreateInfoContext() const {
  if (devNames_ == nullptr) {
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDEFAULT | PD_RETURNIC;
    if (!ShowPrintDialog(&pd)) return nullptr;
    FreeGlobal(pd.hDevMode);
    FreeGlobal(pd.hDevNames);
    return pd.hDC;
  }
  const DeviceNames names = ReadDeviceNames(devNames_);
  const auto* mode = devMode_ != nullptr ? static_cast<const DEVMODEW*>(GlobalLock(devMode_)) : nullptr;
  HDC ic = CreateICW(names.driver.c_str(), names.device.c_str(), nullptr, mode);
  if (mode != nullptr) GlobalUnlock(devMode_);
  return ic;
}

PrinterChoice& CurrentPrinter() {
  static PrinterChoice choice;
  return choice;
}

// ---- Printing ----

void PrintText(HWND owner, std::u16string_view text, const PrintStyle& style) {
  const UniqueDC printer(CurrentPrinter().Choose(owner));
  if (!printer) return;
  PrintTextOn(printer.get(), text, style);
}

void PrintTextOn(HDC printer, std::u16string_view text, const PrintStyle& style) {
  if (printer == nullptr) throw std::runtime_error(kNotValid);
  SetAbortProc(printer, KeepWindowsResponsive);
  TextFont font(printer);         // put back after the document has ended
  Document document(printer, style.jobName);
  font.Create(style.fontFace);
  const POINT offset = PrinterPhysicalOffset(printer);
  const DevicePoint origin = PrintOrigin(GetDeviceCaps(printer, LOGPIXELSY), {offset.x, offset.y},
                                         PrintMarginLeft, PrintMarginTop);
  const PageSize page{GetDeviceCaps(printer, HORZRES), GetDeviceCaps(printer, VERTRES)};
  DeviceMeasurer measurer(printer);
  DeviceSink sink(printer, document, font, origin);
  LayOutPrintJob(text, measurer, page, sink);
}

POINT PrinterPhysicalOffset(HDC printer) {
  return {GetDeviceCaps(printer, PHYSICALOFFSETX), GetDeviceCaps(printer, PHYSICALOFFSETY)};
}

POINT PrinterPhysicalOffset() {
  const UniqueDC ic(CurrentPrinter().CreateInfoContext());
  if (!ic) throw std::runtime_error(kNotValid);
  return PrinterPhysicalOffset(ic.get());
}

}  // namespace velmora::common
