#include "main/win/form_main.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "common/numtext.h"
#include "common/utf.h"
#include "common/png_decode.h"
#include "common/win/error_box.h"
#include "common/win/clipboard.h"
#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/print_text.h"
#include "common/win/save_file.h"
#include "common/win/win_text.h"
#include "response/netlist.h"
#include "help/win/form_help.h"
#include "main/report.h"
#include "main/series_text.h"
#include "main/version_text.h"
#include "main/win/resource.h"

namespace velmora::main {

namespace {

using common::ReportErrors;

enum class Kind { Label, Edit, Combo, Button, Image, Link };
enum class Align { Left, Centre, Right };
enum Handlers : unsigned {
  kNoHandlers = 0,
  kKeyDown = 1,   // EditZoKeyDown: Enter, Down and Up move the focus
  kKeyPress = 2,  // EditZoKeyPress: a carriage return calculates
};

// One control of the main window. Controls are created in table order, which
// is also the tab order of those that can take the focus. The caption is the
// string resource with the control's id, the hint the one at id + HINT_OFFSET.
struct ControlEntry {
  const wchar_t* name;
  int id;
  Kind kind;
  Align align;
  int left, top, width, height;
  bool tabStop;
  bool enabledAtStart;
  bool hasHint;
  unsigned handlers;
  bool autoSize = false;  // the label takes the size of its text
};

constexpr unsigned kBox = kKeyDown | kKeyPress;

// clang-format off
constexpr std::array kLayout = {
  //           name         id               kind          align          left  top  w    h   tab    enabled hint   handlers     autosize
  ControlEntry{L"Label17",    IDC_LABEL17,     Kind::Label,  Align::Centre,  44,  16,  76, 13, false, true,  true,  kNoHandlers},
  ControlEntry{L"Label16",    IDC_LABEL16,     Kind::Label,  Align::Centre, 185,  16,  76, 13, false, true,  true,  kNoHandlers},
  ControlEntry{L"Label18",    IDC_LABEL18,     Kind::Label,  Align::Centre, 275,  16,  85, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelZo",    IDC_LABELZO,     Kind::Label,  Align::Right,    8,  38,  34, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelGain",  IDC_LABELGAIN,   Kind::Label,  Align::Right,    8,  65,  34, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelR1",    IDC_LABELR1,     Kind::Label,  Align::Right,    8,  92,  34, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelR3",    IDC_LABELR3,     Kind::Label,  Align::Right,    8, 119,  34, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelR5",    IDC_LABELR5,     Kind::Label,  Align::Right,    8, 146,  34, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelGu",    IDC_LABELGU,     Kind::Label,  Align::Left,   123,  70,  14, 13, false, true,  false, kNoHandlers, true},
  ControlEntry{L"LabelZor",   IDC_LABELZOR,    Kind::Label,  Align::Right,  128,  38,  55, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelGainr", IDC_LABELGAINR,  Kind::Label,  Align::Right,  128,  65,  55, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelR2",    IDC_LABELR2,     Kind::Label,  Align::Right,  128,  92,  55, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelR4",    IDC_LABELR4,     Kind::Label,  Align::Right,  128, 119,  55, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelZio",   IDC_LABELZIO,    Kind::Label,  Align::Right,  128, 146,  55, 13, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelGur",   IDC_LABELGUR,    Kind::Label,  Align::Left,   264,  70,  14, 13, false, true,  false, kNoHandlers, true},
  ControlEntry{L"LabelDecr",  IDC_LABELDECR,   Kind::Label,  Align::Left,   278, 146,  14, 13, false, true,  false, kNoHandlers, true},
  ControlEntry{L"EditZo",     IDC_EDITZO,      Kind::Edit,   Align::Left,    44,  35,  76, 21, true,  true,  false, kBox},
  ControlEntry{L"EditGain",   IDC_EDITGAIN,    Kind::Edit,   Align::Left,    44,  62,  76, 21, true,  true,  false, kBox},
  ControlEntry{L"EditR1",     IDC_EDITR1,      Kind::Edit,   Align::Left,    44,  89,  76, 21, true,  true,  false, kBox},
  ControlEntry{L"EditR3",     IDC_EDITR3,      Kind::Edit,   Align::Left,    44, 116,  76, 21, true,  true,  false, kBox},
  ControlEntry{L"EditR5",     IDC_EDITR5,      Kind::Edit,   Align::Left,    44, 143,  76, 21, true,  true,  false, kBox},
  ControlEntry{L"EditZor",    IDC_EDITZOR,     Kind::Edit,   Align::Left,   185,  35,  76, 21, false, true,  false, kBox},
  ControlEntry{L"EditGainr",  IDC_EDITGAINR,   Kind::Edit,   Align::Left,   185,  62,  76, 21, false, true,  false, kBox},
  ControlEntry{L"EditR2",     IDC_EDITR2,      Kind::Edit,   Align::Left,   185,  89,  76, 21, false, true,  false, kBox},
  ControlEntry{L"EditR4",     IDC_EDITR4,      Kind::Edit,   Align::Left,   185, 116,  76, 21, false, true,  false, kBox},
  ControlEntry{L"ComboBoxER", IDC_COMBOBOXER,  Kind::Combo,  Align::Left,   291,  32,  50, 21, true,  true,  false, kKeyPress},
  ControlEntry{L"ButtonCalc", IDC_BUTTONCALC,  Kind::Button, Align::Centre,  13, 309,  67, 25, true,  true,  true,  kNoHandlers},
  ControlEntry{L"ButtonPrint",IDC_BUTTONPRINT, Kind::Button, Align::Centre, 167, 309,  55, 25, true,  false, true,  kNoHandlers},
  ControlEntry{L"ButtonCopy", IDC_BUTTONCOPY,  Kind::Button, Align::Centre, 226, 309,  55, 25, true,  false, true,  kNoHandlers},
  ControlEntry{L"ButtonExit", IDC_BUTTONEXIT,  Kind::Button, Align::Centre, 286, 309,  55, 25, true,  true,  false, kNoHandlers},
  ControlEntry{L"EditZio",    IDC_EDITZIO,     Kind::Edit,   Align::Left,   185, 143,  76, 21, false, true,  false, kBox},
  ControlEntry{L"EditDecr",   IDC_EDITDECR,    Kind::Edit,   Align::Left,   293, 143,  47, 21, false, true,  false, kNoHandlers},
  ControlEntry{L"ImageLPF",   IDC_IMAGELPF,    Kind::Image,  Align::Left,    38, 180, 230,113, false, true,  false, kNoHandlers},
  ControlEntry{L"LabelHelp",  IDC_LABELHELP,   Kind::Link,   Align::Centre, 290, 282,  50, 13, false, true,  true,  kNoHandlers},
};
// clang-format on

constexpr const ControlEntry& Entry(int id) {
  for (const ControlEntry& c : kLayout)
    if (c.id == id) return c;
  return kLayout[0];
}

// The six result boxes, in the order ClearResults empties them.
constexpr std::array kResultBoxes = {IDC_EDITGAINR, IDC_EDITZOR, IDC_EDITR2,
                                     IDC_EDITR4,    IDC_EDITZIO, IDC_EDITDECR};

constexpr int kClientExtraRight = 20;
constexpr int kClientExtraBottom = 8;
constexpr int kFontHeight = 13;  // character height in pixels
constexpr int kSeriesItems = 7;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

// Gives a label the width and height of its text in its font.
void SizeToText(HWND label, const std::wstring& text) {
  SIZE size{};
  TEXTMETRICW tm{};
  {
    common::WindowDC dc(label);
    common::ScopedSelect font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    GetTextMetricsW(dc.get(), &tm);
  }
  SetWindowPos(label, nullptr, 0, 0, size.cx, tm.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring VersionText() {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::uint32_t ms = kNoVersion;
  if (n > 0 && n < std::size(path)) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size > 0) {
      std::vector<BYTE> data(size);
      VS_FIXEDFILEINFO* info = nullptr;
      UINT len = 0;
      if (GetFileVersionInfoW(path, 0, size, data.data()) &&
          VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) &&
          info != nullptr && len >= sizeof(VS_FIXEDFILEINFO)) {
        ms = info->dwFileVersionMS;
      }
    }
  }
  return common::ToWide(VersionTextFrom(ms));
}

}  // namespace

TFormMain::~TFormMain() { DestroyWindowObject(); }

bool TFormMain::Create(HINSTANCE instance, velmora::help::TFormHelp* help) {
  instance_ = instance;
  help_ = help;
  WNDCLASSEXW wc{};
  wc.cbWndExtra = DLGWINDOWEXTRA;  // the dialog manager moves the focus (WM_NEXTDLGCTL)
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  const std::wstring title = LoadText(IDS_TITLE_PREFIX) + VersionText();
  return CreateWindowObject(wc, instance, kExStyle, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            369, 346, nullptr);
}

void TFormMain::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(Item(IDC_EDITZO));
}

LRESULT TFormMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == common::FontQueryMessage()) return common::AnswerFontQuery(hwnd_, wParam);
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_.get());  // the font every control and dialog text uses
    case DM_GETDEFID:
      return 0;  // no default button: Enter in a box belongs to the box
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wParam))) return TRUE;
      break;
    case WM_SETTINGCHANGE:
      OnSettingChange();
      break;
    case WM_INITMENUPOPUP:
      if (HIWORD(lParam)) OnInitSystemMenu(reinterpret_cast<HMENU>(wParam));
      break;
    case WM_SYSCOMMAND:
      if (OnSysCommand(static_cast<UINT>(wParam & 0xFFF0))) return 0;
      break;
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
  }
  return DefaultProc(hwnd_, msg, wParam, lParam);
}

void TFormMain::OnCreate() {
  common::MarkAsAppMainWindow(hwnd_);
  LOGFONTW lf{};
  lf.lfHeight = -kFontHeight;
  lf.lfCharSet = DEFAULT_CHARSET;
  const std::wstring face = LoadText(IDS_MAIN_FONT);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  font_.reset(CreateFontIndirectW(&lf));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  CreateControls();
  AddHints();
  LoadSchematic();
  FormCreate();
  OnSettingChange();
  AddSystemMenuEntries();
}

// The program's own commands in the window menu, where they leave the
// window's layout as it is.
void TFormMain::AddSystemMenuEntries() {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_SAVE_NETLIST, LoadText(IDS_SAVE_NETLIST).c_str());
  AppendMenuW(menu, MF_STRING, IDM_EVERY_SERIES, LoadText(IDS_EX_MENU_SERIES).c_str());
  AppendMenuW(menu, MF_STRING, IDM_TOLERANCE, LoadText(IDS_EX_MENU_TOLERANCE).c_str());
}

void TFormMain::OnInitSystemMenu(HMENU menu) {
  // A netlist is of a calculated design, like the report Print and Copy give.
  EnableMenuItem(menu, IDM_SAVE_NETLIST, MF_BYCOMMAND | (design_.Valid ? MF_ENABLED : MF_GRAYED));
}

bool TFormMain::OnSysCommand(UINT command) {
  switch (command) {
    case IDM_SAVE_NETLIST: SaveNetlist(); return true;
    case IDM_EVERY_SERIES: OpenExplorer(explore::TFormExplorer::Page::Series); return true;
    case IDM_TOLERANCE: OpenExplorer(explore::TFormExplorer::Page::Tolerance); return true;
    default: return false;
  }
}

void TFormMain::OpenExplorer(explore::TFormExplorer::Page page) {
  explore::MainLink link;
  link.current = [this] { return calculated_; };
  link.chooseSeries = [this](std::int32_t er) { ChooseSeries(er); };
  explorer_.Open(instance_, hwnd_, link, page);
}

// The selector shows the series as its list does (no series as "∞"), then
// the design is calculated as after a choice from the list.
void TFormMain::ChooseSeries(std::int32_t er) {
  const std::wstring text = er == 0 ? std::wstring(1, L'\u221E') : std::to_wstring(er);
  SetWindowTextW(Item(IDC_COMBOBOXER), text.c_str());
  Calculate();
}

bool TFormMain::PreTranslateMessage(MSG& msg) {
  const HWND explorer = explorer_.Handle();
  const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  const bool ours = root == hwnd_ || (explorer != nullptr && root == explorer);
  // A window without a focused control gets its keys as WM_SYSKEYDOWN, Alt or not.
  const bool keyDown = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  if (ours && keyDown && (msg.wParam == 'E' || msg.wParam == 'L') &&
      GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0) {
    ReportErrors(hwnd_, 0, [&] {
      OpenExplorer(msg.wParam == 'E' ? explore::TFormExplorer::Page::Series : explore::TFormExplorer::Page::Tolerance);
      return LRESULT{0};
    });
    return true;
  }
  return explorer_.PreTranslate(msg);
}

void TFormMain::CreateControls() {
  for (const ControlEntry& c : kLayout) {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;  // earlier controls stay on top where they overlap
    DWORD exStyle = 0;
    int height = c.height;
    switch (c.kind) {
      case Kind::Label:
      case Kind::Link:
        style |= SS_NOTIFY | SS_NOPREFIX |
                 (c.align == Align::Centre ? SS_CENTER : c.align == Align::Right ? SS_RIGHT : SS_LEFT);
        break;
      case Kind::Edit:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Combo:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
        height = c.height + kSeriesItems * kFontHeight * 2;  // room for the whole list
        break;
      case Kind::Button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
      case Kind::Image:
        continue;  // painted by the window itself
    }
    if (c.tabStop) style |= WS_TABSTOP;
    if (!c.enabledAtStart) style |= WS_DISABLED;
    const std::wstring text = c.kind == Kind::Combo ? std::wstring() : LoadText(static_cast<UINT>(c.id));
    HWND child = CreateWindowExW(exStyle, cls, text.c_str(), style, c.left, c.top, c.width, height,
                                 hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                 instance_, nullptr);
    items_[static_cast<std::size_t>(c.id - kFirstId)] = child;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (c.autoSize) SizeToText(child, text);
    if (c.kind == Kind::Combo) {
      const std::wstring list = LoadText(IDS_SERIES_LIST);
      for (std::size_t start = 0; start <= list.size();) {
        const std::size_t bar = std::min(list.find(L'|', start), list.size());
        const std::wstring item = list.substr(start, bar - start);
        SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        start = bar + 1;
      }
      SendMessageW(child, CB_SETMINVISIBLE, kSeriesItems, 0);
      const std::wstring initial = LoadText(static_cast<UINT>(c.id));
      const LRESULT index = SendMessageW(child, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(initial.c_str()));
      SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      SetWindowTextW(child, initial.c_str());
      seriesText_ = common::FromWide(initial);
    }
    if (c.handlers != kNoHandlers) {
      HWND target = child;
      if (c.kind == Kind::Combo) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(child, &info)) target = info.hwndItem;
      }
      SetWindowSubclass(target, BoxSubclassProc, static_cast<UINT_PTR>(c.handlers),
                        reinterpret_cast<DWORD_PTR>(this));
    }
  }
}

void TFormMain::AddHints() {
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, instance_, nullptr);
  if (tooltip_ == nullptr) return;
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  for (const ControlEntry& c : kLayout) {
    if (!c.hasHint) continue;
    std::wstring hint = LoadText(static_cast<UINT>(c.id + HINT_OFFSET));
    // Over an enabled control the mouse messages go to the control itself.
    TOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(Item(c.id));
    ti.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    // A disabled control gets none: they go to this window, so the same hint
    // is also a tool of this window over the control's rectangle.
    TOOLINFOW area{};
    area.cbSize = sizeof(area);
    area.uFlags = TTF_SUBCLASS;
    area.hwnd = hwnd_;
    area.uId = static_cast<UINT_PTR>(c.id);
    area.rect = {c.left, c.top, c.left + c.width, c.top + c.height};
    area.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&area));
  }
}

void TFormMain::LoadSchematic() {
  const std::span<const std::uint8_t> bytes = common::LoadResourceData(instance_, IDR_SCHEMATIC);
  if (bytes.empty()) return;
  const common::PngResult png = common::DecodePng(bytes);
  if (!png.image) return;
  const common::RgbImage& img = *png.image;
  const std::vector<std::uint8_t> rows = common::ToDibRows(img, false);
  if (rows.empty()) return;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = static_cast<LONG>(img.width);
  bi.bmiHeader.biHeight = -static_cast<LONG>(img.height);  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  schematic_.reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (schematic_ && bits != nullptr) std::memcpy(bits, rows.data(), rows.size());
}

void TFormMain::FormCreate() {
  // Client area from the button row: right edge + 20, bottom edge + 8.
  const ControlEntry& exit = Entry(IDC_BUTTONEXIT);
  RECT r{0, 0, exit.left + exit.width + kClientExtraRight, exit.top + exit.height + kClientExtraBottom};
  AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  maxTrackSize_ = {outer.right - outer.left, outer.bottom - outer.top};
}

void TFormMain::OnGetMinMaxInfo(MINMAXINFO* info) {
  // Once FormCreate has sized the window it never grows beyond that size.
  if (maxTrackSize_.x <= 0) return;
  info->ptMaxTrackSize = maxTrackSize_;
  info->ptMaxSize = maxTrackSize_;
}

void TFormMain::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  if (schematic_) {
    const ControlEntry& img = Entry(IDC_IMAGELPF);
    const common::UniqueDC mem(CreateCompatibleDC(dc));
    const common::ScopedSelect picture(mem.get(), schematic_.get());
    BitBlt(dc, img.left, img.top, img.width, img.height, mem.get(), 0, 0, SRCCOPY);
  }
  EndPaint(hwnd_, &ps);
}

bool TFormMain::OnSetCursor(HWND over) {
  if (over != Item(IDC_LABELHELP)) return false;
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

void TFormMain::OnSettingChange() {
  wchar_t sep[8] = {};
  if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SDECIMAL, sep, static_cast<int>(std::size(sep))) > 1)
    common::SetDecimalSeparator(static_cast<char16_t>(sep[0]));
}

void TFormMain::OnDestroy() {
  common::UnmarkAppMainWindow(hwnd_);
  PostQuitMessage(0);
}

void TFormMain::OnCommand(int id, int code) {
  switch (id) {
    case IDC_BUTTONCALC:
      if (code == BN_CLICKED) ButtonCalcClick();
      break;
    case IDC_BUTTONPRINT:
      if (code == BN_CLICKED) ButtonPrintClick();
      break;
    case IDC_BUTTONCOPY:
      if (code == BN_CLICKED) ButtonCopyClick();
      break;
    case IDC_BUTTONEXIT:
      if (code == BN_CLICKED) ButtonExitClick();
      break;
    case IDC_LABELHELP:
      if (code == STN_CLICKED) LabelHelpClick();
      break;
    case IDC_COMBOBOXER:
      if (code == CBN_EDITCHANGE) {
        // Wine also reports a mere change of the selection (Ctrl+A) here.
        if (Text(IDC_COMBOBOXER) != seriesText_) ComboBoxERChange();
      } else if (code == CBN_SELCHANGE) {
        // The edit part still shows the previous entry here: read the chosen one.
        HWND combo = Item(IDC_COMBOBOXER);
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
      break;
    default:
      break;  // IDOK / IDCANCEL from the dialog manager: nothing to do
  }
}

LRESULT CALLBACK TFormMain::BoxSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR handlers, DWORD_PTR selfPtr) {
  auto* self = reinterpret_cast<TFormMain*>(selfPtr);
  switch (msg) {
    case WM_GETDLGCODE: {
      // Enter stays with the box instead of pressing a default button; every
      // other key keeps the box's usual code so that Tab still moves on.
      const auto* m = reinterpret_cast<const MSG*>(lParam);
      if (m != nullptr && m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
        return DefSubclassProc(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS;
      break;
    }
    // With Alt held a key arrives as WM_SYSKEYDOWN and its character as
    // WM_SYSCHAR; the handlers take both kinds alike.
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if ((handlers & kKeyDown) != 0) {
        WORD key = static_cast<WORD>(wParam);
        ReportErrors(self->hwnd_, 0, [&] {
          self->EditZoKeyDown(key);
          return LRESULT{0};
        });
        if (key == 0) {
          // The box does not see a key that has been used up, but the system
          // still must: it tracks whether a key went down while Alt was held
          // (after a lone Alt press its release enters the system menu).
          if (msg == WM_SYSKEYDOWN) DefWindowProcW(hwnd, msg, wParam, lParam);
          return 0;
        }
      } else if (msg == WM_SYSKEYDOWN && (wParam == VK_DOWN || wParam == VK_UP)) {
        // The selector's edit part opens or closes the list on Alt+Down and
        // Alt+Up without passing the key on (so under Wine the release of Alt
        // entered the system menu, which closed the list again at once).
        const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
        DefWindowProcW(hwnd, msg, wParam, lParam);
        return result;
      }
      break;
    case WM_CHAR:
    case WM_SYSCHAR:
      if ((handlers & kKeyPress) != 0) {
        wchar_t key = static_cast<wchar_t>(wParam);
        ReportErrors(self->hwnd_, 0, [&] {
          self->EditZoKeyPress(key);
          return LRESULT{0};
        });
        if (key == 0) return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, BoxSubclassProc, handlers);
      break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// ---- Event handlers ----

void TFormMain::ButtonCalcClick() { Calculate(); }

void TFormMain::ComboBoxERChange() { Calculate(); }

void TFormMain::ButtonExitClick() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

void TFormMain::LabelHelpClick() {
  if (help_ != nullptr) help_->ShowOver(hwnd_);
}

void TFormMain::EditZoKeyDown(WORD& key) { FocusKeyDown(key); }

void TFormMain::FocusKeyDown(WORD& key) {
  if (key == VK_RETURN || key == VK_DOWN) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, 0);
    key = 0;
  } else if (key == VK_UP) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, 1, 0);
    key = 0;
  }
}

void TFormMain::EditZoKeyPress(wchar_t& key) {
  if (key == L'\r') {
    key = 0;
    Calculate();
  }
}

// ---- The Calculate command ----

void TFormMain::Calculate() {
  // However the calculation ends (a fault included), the explorer window
  // follows it once this message has been handled.
  struct FollowAfter {
    explore::TFormExplorer& explorer;
    ~FollowAfter() { explorer.Follow(); }
  } follow{explorer_};
  design_.Valid = false;
  ReadSeries();
  const double gain = common::StrToValue(Text(IDC_EDITGAIN));
  const double zo = common::StrToValue(Text(IDC_EDITZO));
  const double r1 = common::StrToValue(Text(IDC_EDITR1));
  const double r3 = common::StrToValue(Text(IDC_EDITR3));
  const double r5 = common::StrToValue(Text(IDC_EDITR5));
  calculated_ = DesignInputs{gain, zo, r1, r3, r5, design_.ER};
  switch (SolveDesign(*calculated_, design_)) {
    case DesignOutcome::NotANumber:
      ClearResults();
      break;
    case DesignOutcome::R5TooLarge:
      Warn(IDS_R5_TOO_LARGE);
      ClearResults();
      break;
    case DesignOutcome::R3TooSmall:
      Warn(IDS_R3_TOO_SMALL);
      ClearResults();
      EnableWindow(Item(IDC_BUTTONPRINT), FALSE);
      EnableWindow(Item(IDC_BUTTONCOPY), FALSE);
      break;
    case DesignOutcome::Success:
      EnableWindow(Item(IDC_BUTTONPRINT), TRUE);
      EnableWindow(Item(IDC_BUTTONCOPY), TRUE);
      ShowResults();
      break;
  }
}

void TFormMain::ReadSeries() {
  const std::u16string text = chosenSeries_ ? *chosenSeries_ : Text(IDC_COMBOBOXER);
  design_.ER = StrToIntOrZero(text);
  seriesText_ = text;
  if (design_.ER == 0 && text != u"\u221E") {
    // Setting the text sends no change notification, so this does not recurse.
    seriesText_.assign(1, u'\u221E');
    SetWindowTextW(Item(IDC_COMBOBOXER), L"\u221E");
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
  SetText(IDC_EDITZOR, texts.Zor);
  SetText(IDC_EDITGAINR, texts.Gainr);
  SetText(IDC_EDITR2, texts.R2);
  SetText(IDC_EDITR4, texts.R4);
  SetText(IDC_EDITZIO, texts.Zio);
  SetText(IDC_EDITDECR, texts.Decr);
}

void TFormMain::ClearResults() {
  for (int id : kResultBoxes) SetText(id, u"");
}

void TFormMain::Warn(UINT textId) {
  common::MessageBoxCentered(LoadText(textId), common::MsgDlgType::Warning, common::msgdlg::kOK, 0, hwnd_);
}

std::u16string TFormMain::MakeReport() const {
  ReportSource s;
  s.LabelZo = Text(IDC_LABELZO);
  s.LabelGain = Text(IDC_LABELGAIN);
  s.LabelGu = Text(IDC_LABELGU);
  s.LabelR1 = Text(IDC_LABELR1);
  s.LabelR3 = Text(IDC_LABELR3);
  s.LabelR5 = Text(IDC_LABELR5);
  s.LabelZor = Text(IDC_LABELZOR);
  s.LabelGainr = Text(IDC_LABELGAINR);
  s.LabelGur = Text(IDC_LABELGUR);
  s.LabelR2 = Text(IDC_LABELR2);
  s.LabelR4 = Text(IDC_LABELR4);
  s.LabelZio = Text(IDC_LABELZIO);
  s.LabelDecr = Text(IDC_LABELDECR);
  s.EditZo = Text(IDC_EDITZO);
  s.EditGain = Text(IDC_EDITGAIN);
  s.EditR1 = Text(IDC_EDITR1);
  s.EditR3 = Text(IDC_EDITR3);
  s.EditR5 = Text(IDC_EDITR5);
  s.EditZor = Text(IDC_EDITZOR);
  s.EditGainr = Text(IDC_EDITGAINR);
  s.EditR2 = Text(IDC_EDITR2);
  s.EditR4 = Text(IDC_EDITR4);
  s.EditZio = Text(IDC_EDITZIO);
  s.EditDecr = Text(IDC_EDITDECR);
  return main::MakeReport(s);
}

// Saves the designed stage as a SPICE netlist (UTF-8, CR LF), its comments
// quoting the input boxes as the report does.
void TFormMain::SaveNetlist() {
  if (!design_.Valid) return;
  const auto utf8 = [this](int id) { return common::Utf16ToUtf8(Text(id)); };
  const response::NetlistInputs inputs{utf8(IDC_EDITZO), utf8(IDC_EDITGAIN), utf8(IDC_EDITR1),
                                      utf8(IDC_EDITR3), utf8(IDC_EDITR5),   utf8(IDC_COMBOBOXER)};
  const std::string netlist = response::MakeNetlist(inputs, design_, "\r\n");
  const std::optional<std::wstring> path =
      common::AskSavePath(hwnd_, LoadText(IDS_NETLIST_FILTER), L"velmora.cir", L"cir");
  if (!path) return;
  if (const DWORD error = common::WriteWholeFile(*path, netlist); error != 0) {
    common::MessageBoxCentered(LoadText(IDS_NETLIST_NOT_SAVED) + L"\r\n" + *path + L"\r\n" +
                                   common::SystemErrorText(error),
                               common::MsgDlgType::Warning, common::msgdlg::kOK, 0, hwnd_);
  }
}

void TFormMain::ButtonPrintClick() { common::PrintText(hwnd_, MakeReport()); }

void TFormMain::ButtonCopyClick() {
  common::CopyTextToClipboard(hwnd_, MakeReport());
}

// ---- Small helpers ----

HWND TFormMain::Item(int id) const {
  const auto index = static_cast<std::size_t>(id - kFirstId);
  return index < items_.size() ? items_[index] : nullptr;
}

std::u16string TFormMain::Text(int id) const { return common::WindowText(Item(id)); }

void TFormMain::SetText(int id, std::u16string_view text) {
  SetWindowTextW(Item(id), common::ToWide(text).c_str());
}

std::wstring TFormMain::LoadText(UINT id) const { return common::LoadResourceText(instance_, id); }

}  // namespace velmora::main
