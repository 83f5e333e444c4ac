#include "common/win/message_dialog.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/placement.h"
#include "common/win/handles.h"

namespace velmora::common {
namespace {

struct ButtonSpec {
  const wchar_t* caption;
  int result;
};

constexpr std::array<ButtonSpec, msgdlg::kButtonCount> kButtonSpecs{{
    {L"&Yes", 6},       {L"&No", 7},          {L"OK", 1},     {L"Cancel", 2},
    {L"&Abort", 3},     {L"&Retry", 4},       {L"&Ignore", 5}, {L"&All", 12},
    {L"N&o to All", 13}, {L"Yes to &All", 14}, {L"&Help", 0},  {L"&Close", 8},
}};
// Bit numbers of the buttons with a special role.
constexpr int kYesBit = 0;
constexpr int kNoBit = 1;
constexpr int kOKBit = 2;
constexpr int kCancelBit = 3;
constexpr int kRetryBit = 5;
constexpr int kHelpBit = 10;

// The window property that marks the application's main window.
constexpr wchar_t kMainWindowMark[] = L"Velmora.MainWindow";

// Control ids: none of them is IDOK or IDCANCEL, so the dialog manager's
// Enter/Esc commands and the buttons' own clicks stay apart.
constexpr int kIconId = 90;
constexpr int kTextId = 91;
constexpr int kFirstButtonId = 100;

// Layout in pixels (the program is not scaled for screen resolution).
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kContentToButtons = 16;
constexpr int kButtonMinWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonPadding = 12;
constexpr int kButtonGap = 6;

bool Has(MsgDlgButtons set, int bit) { return ((set >> bit) & 1u) != 0; }

// ---- Measuring ----

// A font made from `lf`; the stock GUI font stands in where creating it failed.
class OwnedFont {
 public:
  explicit OwnedFont(const LOGFONTW& lf) : font_(CreateFontIndirectW(&lf)) {}
  HFONT get() const { return font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

 private:
  UniqueFont font_;
};

// A window's device context with one font selected.
class MeasuringDC {
 public:
  MeasuringDC(HWND window, HFONT font) : dc_(window), font_(dc_.get(), font) {}

  // Size of `text` drawn with `flags` | DT_CALCRECT inside `maxWidth`.
  SIZE Measure(const std::wstring& text, UINT flags, int maxWidth) const {
    RECT r{0, 0, maxWidth, 0};
    if (dc_) DrawTextW(dc_.get(), text.c_str(), -1, &r, flags | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
  }

 private:
  WindowDC dc_;
  ScopedSelect font_;
};

NONCLIENTMETRICSW NonClientMetrics() {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(LOGFONTW), &ncm.lfMessageFont);
    ncm.lfCaptionFont = ncm.lfMessageFont;
  }
  return ncm;
}

// ---- What the dialog shows and where it goes ----

struct DialogRequest {
  std::wstring text;
  std::wstring caption;
  HICON icon;  // shared system icon or nullptr; never destroyed
  MsgDlgButtons buttons;
  HFONT font;
  LOGFONTW captionFont;
  ScreenRect parent;
  ScreenRect workArea;
};

// The flags the static text control draws with (SS_LEFT | SS_NOPREFIX).
constexpr UINT kTextFlags = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

struct Layout {
  RECT icon;
  RECT text;
  std::vector<std::pair<int, RECT>> buttons;  // bit, rectangle
  SIZE client;
};

int CountButtons(MsgDlgButtons set) {
  int n = 0;
  for (int bit = 0; bit < msgdlg::kButtonCount; ++bit) n += Has(set, bit) ? 1 : 0;
  return n;
}

// Width of the widest button caption plus padding, at least the standard width.
int ButtonWidth(const MeasuringDC& dc, MsgDlgButtons set) {
  int width = kButtonMinWidth;
  for (int bit = 0; bit < msgdlg::kButtonCount; ++bit) {
    if (!Has(set, bit)) continue;
    const SIZE s = dc.Measure(kButtonSpecs[static_cast<size_t>(bit)].caption, DT_SINGLELINE, 0);
    width = std::max(width, static_cast<int>(s.cx) + 2 * kButtonPadding);
  }
  return width;
}

// Client width the title needs so that the caption is not cut off.
int CaptionClientWidth(HWND dialog, const DialogRequest& req) {
  OwnedFont font(req.captionFont);
  MeasuringDC dc(dialog, font.get());
  const SIZE s = dc.Measure(req.caption, DT_SINGLELINE | DT_NOPREFIX, 0);
  return static_cast<int>(s.cx) + GetSystemMetrics(SM_CXSIZE) + 3 * kMargin;
}

// Icon at the top left, text beside it (lines wider than half the screen
// wrap), a centred row of equal buttons under both.
Layout ComputeLayout(HWND dialog, const DialogRequest& req) {
  Layout layout{};
  MeasuringDC dc(dialog, req.font);
  const std::wstring measured = req.text.empty() ? std::wstring(L" ") : req.text;
  const SIZE text = dc.Measure(measured, kTextFlags, GetSystemMetrics(SM_CXSCREEN) / 2);

  const int textLeft = req.icon ? kMargin + kIconSize + kIconGap : kMargin;
  const int textTop = (req.icon && text.cy < kIconSize) ? kMargin + (kIconSize - text.cy) / 2 : kMargin;
  layout.icon = {kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize};
  layout.text = {textLeft, textTop, textLeft + text.cx, textTop + text.cy};
  const int contentBottom =
      std::max(static_cast<int>(layout.text.bottom), req.icon ? kMargin + kIconSize : 0);

  const int count = CountButtons(req.buttons);
  const int buttonWidth = ButtonWidth(dc, req.buttons);
  const int rowWidth = count > 0 ? count * buttonWidth + (count - 1) * kButtonGap : 0;
  const int clientWidth = std::max({static_cast<int>(layout.text.right) + kMargin,
                                    rowWidth + 2 * kMargin, CaptionClientWidth(dialog, req)});
  const int rowTop = contentBottom + kContentToButtons;
  int x = (clientWidth - rowWidth) / 2;
  for (int bit = 0; bit < msgdlg::kButtonCount; ++bit) {
    if (!Has(req.buttons, bit)) continue;
    layout.buttons.push_back({bit, RECT{x, rowTop, x + buttonWidth, rowTop + kButtonHeight}});
    x += buttonWidth + kButtonGap;
  }
  layout.client = {clientWidth, count > 0 ? rowTop + kButtonHeight + kMargin : contentBottom + kMargin};
  return layout;
}

HWND CreateChild(HWND dialog, const wchar_t* cls, const wchar_t* text, DWORD style, const RECT& r,
                 int id, HFONT font) {
  HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  if (child && font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// Creates the controls and returns the one that gets the focus.
HWND CreateControls(HWND dialog, const DialogRequest& req, const Layout& layout) {
  if (req.icon) {
    HWND icon = CreateChild(dialog, L"STATIC", nullptr, SS_ICON, layout.icon, kIconId, nullptr);
    if (icon) {
      SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(req.icon), 0);
      SetWindowPos(icon, nullptr, layout.icon.left, layout.icon.top, kIconSize, kIconSize,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  CreateChild(dialog, L"STATIC", req.text.c_str(), SS_LEFT | SS_NOPREFIX, layout.text, kTextId, req.font);

  const int defaultBit = MsgDlgDefaultButton(req.buttons);
  HWND focus = nullptr;
  bool first = true;
  for (const auto& [bit, rect] : layout.buttons) {
    const DWORD style = WS_TABSTOP | (first ? WS_GROUP : 0) |
                        (bit == defaultBit ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND button = CreateChild(dialog, L"BUTTON", kButtonSpecs[static_cast<size_t>(bit)].caption,
                              style, rect, kFirstButtonId + bit, req.font);
    if (first || bit == defaultBit) focus = button;
    first = false;
  }
  if (defaultBit >= 0) SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(kFirstButtonId + defaultBit), 0);
  return focus;
}

// Gives the still hidden dialog its final outer size and its place over the
// parent, so that it appears there and nowhere else.
void SizeAndPlace(HWND dialog, const DialogRequest& req, SIZE client) {
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
  const std::int32_t width = outer.right - outer.left;
  const std::int32_t height = outer.bottom - outer.top;
  const ScreenPoint p = MessageDialogPosition(req.parent, width, height, req.workArea);
  SetWindowPos(dialog, nullptr, p.x, p.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Ends the dialog with the result of button `bit`; Help only stays open.
void PressButton(HWND dialog, int bit) {
  if (bit < 0 || bit == kHelpBit) return;
  EndDialog(dialog, kButtonSpecs[static_cast<size_t>(bit)].result);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* req = reinterpret_cast<const DialogRequest*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetWindowTextW(dialog, req->caption.c_str());
      const Layout layout = ComputeLayout(dialog, *req);
      HWND focus = CreateControls(dialog, *req, layout);
      SizeAndPlace(dialog, *req, layout.client);
      if (focus) SetFocus(focus);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      const auto* req = reinterpret_cast<const DialogRequest*>(GetWindowLongPtrW(dialog, DWLP_USER));
      if (!req) return FALSE;
      const int id = LOWORD(wParam);
      if (id == IDCANCEL) {  // Esc
        PressButton(dialog, MsgDlgCancelButton(req->buttons));
      } else if (id >= kFirstButtonId && id < kFirstButtonId + msgdlg::kButtonCount &&
                 HIWORD(wParam) == BN_CLICKED) {
        PressButton(dialog, id - kFirstButtonId);
      }
      return TRUE;
    }
    case WM_CLOSE:  // the title-bar close box, Alt+F4, the system menu
      EndDialog(dialog, msgdlg::kClosedResult);
      return TRUE;
    default:
      return FALSE;
  }
}

// An empty dialog template: the controls are made in WM_INITDIALOG, and the
// window stays hidden until the modal loop shows it.
struct alignas(4) EmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu;
  WORD windowClass;
  WORD title;
};

EmptyDialogTemplate MakeTemplate() {
  EmptyDialogTemplate t{};
  t.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
  return t;
}

// Disables the thread's visible, enabled top-level windows other than
// `owner` (which the modal dialog disables itself) and enables them again.
class OtherWindowsDisabled {
 public:
  explicit OtherWindowsDisabled(HWND owner) : owner_(owner) {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
    for (HWND w : windows_) EnableWindow(w, FALSE);
  }
  ~OtherWindowsDisabled() {
    for (HWND w : windows_)
      if (IsWindow(w)) EnableWindow(w, TRUE);
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND w, LPARAM self) {
    auto* me = reinterpret_cast<OtherWindowsDisabled*>(self);
    if (w != me->owner_ && IsWindowVisible(w) && IsWindowEnabled(w)) me->windows_.push_back(w);
    return TRUE;
  }
  HWND owner_;
  std::vector<HWND> windows_;
};

HICON TypeIcon(MsgDlgType type) {
  const wchar_t* id = nullptr;
  switch (type) {
    case MsgDlgType::Warning:
    case MsgDlgType::Confirmation: id = IDI_WARNING; break;
    case MsgDlgType::Error: id = IDI_ERROR; break;
    case MsgDlgType::Information: id = IDI_INFORMATION; break;
    default: return nullptr;
  }
  HANDLE icon = LoadImageW(nullptr, id, IMAGE_ICON, kIconSize, kIconSize, LR_SHARED);
  return icon ? static_cast<HICON>(icon) : LoadIconW(nullptr, id);
}


// The system message box's nearest button set and icon. Its results (IDOK ..
// IDNO, IDCLOSE) have the same numbers as the buttons' results.
UINT FallbackStyle(MsgDlgType type, MsgDlgButtons buttons) {
  using namespace msgdlg;
  UINT style = MB_TASKMODAL;
  switch (type) {
    case MsgDlgType::Warning:
    case MsgDlgType::Confirmation: style |= MB_ICONWARNING; break;
    case MsgDlgType::Error: style |= MB_ICONERROR; break;
    case MsgDlgType::Information: style |= MB_ICONINFORMATION; break;
    default: break;
  }
  const MsgDlgButtons set = static_cast<MsgDlgButtons>(buttons & ~kHelp);
  if (set == (kYes | kNo | kCancel)) style |= MB_YESNOCANCEL;
  else if (set == (kYes | kNo)) style |= MB_YESNO;
  else if (set == (kOK | kCancel)) style |= MB_OKCANCEL;
  else if (set == (kAbort | kRetry | kIgnore)) style |= MB_ABORTRETRYIGNORE;
  else if (set == (kRetry | kCancel)) style |= MB_RETRYCANCEL;
  else style |= MB_OK;
  if (buttons & kHelp) style |= MB_HELP;
  return style;
}

int FallbackMessageBox(const std::wstring& text, MsgDlgType type, MsgDlgButtons buttons,
                       std::uint32_t helpContext) {
  const std::wstring caption = MsgDlgCaption(type);
  MSGBOXPARAMSW params{};
  params.cbSize = sizeof params;
  params.hInstance = GetModuleHandleW(nullptr);
  params.lpszText = text.c_str();
  params.lpszCaption = caption.c_str();
  params.dwStyle = FallbackStyle(type, buttons);
  params.dwContextHelpId = helpContext;
  return MessageBoxIndirectW(&params);
}

BOOL CALLBACK FindMainWindow(HWND w, LPARAM found) {
  if (GetPropW(w, kMainWindowMark) != nullptr) {
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::wstring_view MsgDlgButtonCaption(int bit) {
  if (bit < 0 || bit >= msgdlg::kButtonCount) return {};
  return kButtonSpecs[static_cast<size_t>(bit)].caption;
}

int MsgDlgButtonResult(int bit) {
  if (bit < 0 || bit >= msgdlg::kButtonCount) return 0;
  return kButtonSpecs[static_cast<size_t>(bit)].result;
}

int MsgDlgDefaultButton(MsgDlgButtons buttons) {
  const int bit = Has(buttons, kOKBit) ? kOKBit : Has(buttons, kYesBit) ? kYesBit : kRetryBit;
  return Has(buttons, bit) ? bit : -1;
}

int MsgDlgCancelButton(MsgDlgButtons buttons) {
  for (int bit : {kCancelBit, kNoBit, kOKBit})
    if (Has(buttons, bit)) return bit;
  return -1;
}

std::wstring ApplicationTitle() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

std::wstring MsgDlgCaption(MsgDlgType type) {
  switch (type) {
    case MsgDlgType::Warning: return L"Warning";
    case MsgDlgType::Error: return L"Error";
    case MsgDlgType::Information: return L"Information";
    case MsgDlgType::Confirmation: return L"Confirm";
    default: return ApplicationTitle();
  }
}

bool MarkAsAppMainWindow(HWND window) {
  return SetPropW(window, kMainWindowMark, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1))) != FALSE;
}

void UnmarkAppMainWindow(HWND window) { RemovePropW(window, kMainWindowMark); }

HWND AppMainWindow() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

RECT MonitorWorkArea(HWND window) {
  if (!window) window = AppMainWindow();
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return info.rcWork;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

int MessageBoxCentered(std::wstring_view text, MsgDlgType type, MsgDlgButtons buttons,
                       std::uint32_t helpContext, HWND parent) {
  // The controls take NUL-terminated text: whatever follows an embedded NUL
  // would be neither measured nor shown.
  std::wstring message(text.substr(0, text.find(L'\0')));
  if (!parent || !IsWindow(parent)) parent = AppMainWindow();
  if (!parent) return FallbackMessageBox(message, type, buttons, helpContext);

  RECT parentRect{};
  GetWindowRect(parent, &parentRect);
  NONCLIENTMETRICSW metrics = NonClientMetrics();
  // The text takes the parent's face where it has one: the message font of a
  // system without Japanese glyphs would show the program's texts as boxes.
  LOGFONTW parentFont{};
  if (auto pf = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
      pf != nullptr && GetObjectW(pf, sizeof parentFont, &parentFont) == sizeof parentFont) {
    std::copy(std::begin(parentFont.lfFaceName), std::end(parentFont.lfFaceName),
              std::begin(metrics.lfMessageFont.lfFaceName));
    metrics.lfMessageFont.lfCharSet = parentFont.lfCharSet;
  }
  OwnedFont font(metrics.lfMessageFont);
  const DialogRequest request{std::move(message), MsgDlgCaption(type), TypeIcon(type), buttons,
                              font.get(), metrics.lfCaptionFont, ToScreenRect(parentRect),
                              ToScreenRect(MonitorWorkArea(parent))};

  const EmptyDialogTemplate dialogTemplate = MakeTemplate();
  INT_PTR result;
  {
    OtherWindowsDisabled others(parent);
    result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialogTemplate.header, parent,
                                     &DialogProc, reinterpret_cast<LPARAM>(&request));
  }
  return result == -1 ? 0 : static_cast<int>(result);
}

}  // namespace velmora::common
