#include "main/win/form_main.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "common/numtext.h"
#include "common/png_decode.h"
#include "common/utf.h"
#include "common/win/error_box.h"
#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "main/texts.h"
#include "main/version_text.h"
#include "main/win/main_resource.h"

namespace velmora::main {

namespace {

using common::ReportErrors;
using common::ToWide;

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

bool TFormMain::Create(HINSTANCE instance, Links links) {
  instance_ = instance;
  links_ = std::move(links);
  WNDCLASSEXW wc{};
  wc.cbWndExtra = DLGWINDOWEXTRA;  // the dialog manager moves the focus (WM_NEXTDLGCTL)
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  const std::wstring title = ToWide(texts::TitlePrefix) + VersionText();
  return CreateWindowObject(wc, instance, kExStyle, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            369, 346, nullptr);
}

void TFormMain::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(Item(control::EditZo));
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
  lstrcpynW(lf.lfFaceName, ToWide(texts::MainFont).c_str(), LF_FACESIZE);
  font_.reset(CreateFontIndirectW(&lf));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  CreateControls();
  AddHints();
  LoadSchematic();
  FormCreate();
  OnSettingChange();
  // The window's own command in the window menu, where it leaves the
  // window's layout as it is; the program's follow it.
  if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_SAVE_NETLIST, ToWide(texts::SaveNetlist).c_str());
  }
}

void TFormMain::AddMenuCommand(std::u16string_view text, std::function<void()> run) {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (menu == nullptr) return;
  const UINT id = IDM_PROGRAM_FIRST + 0x10 * static_cast<UINT>(menuCommands_.size());
  menuCommands_.push_back(std::move(run));
  AppendMenuW(menu, MF_STRING, id, ToWide(text).c_str());
}

void TFormMain::OnInitSystemMenu(HMENU menu) {
  // A netlist is of a calculated design, like the report Print and Copy give.
  EnableMenuItem(menu, IDM_SAVE_NETLIST, MF_BYCOMMAND | (design_.Valid ? MF_ENABLED : MF_GRAYED));
}

bool TFormMain::OnSysCommand(UINT command) {
  if (command == IDM_SAVE_NETLIST) {
    SaveNetlist();
    return true;
  }
  if (command < IDM_PROGRAM_FIRST || (command - IDM_PROGRAM_FIRST) % 0x10 != 0) return false;
  const std::size_t index = (command - IDM_PROGRAM_FIRST) / 0x10;
  if (index >= menuCommands_.size()) return false;
  menuCommands_[index]();
  return true;
}

void TFormMain::ChooseSeries(std::int32_t er) {
  const std::wstring text = er == 0 ? std::wstring(1, L'\u221E') : std::to_wstring(er);
  SetWindowTextW(Item(control::ComboBoxER), text.c_str());
  Calculate();
}

void TFormMain::CreateControls() {
  for (const ControlRow& c : kMainWindowControls) {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;  // earlier controls stay on top where they overlap
    DWORD exStyle = 0;
    int height = c.height;
    switch (c.kind) {
      case ControlKind::Label:
      case ControlKind::Link:
        style |= SS_NOTIFY | SS_NOPREFIX |
                 (c.align == ControlAlign::Centre  ? SS_CENTER
                  : c.align == ControlAlign::Right ? SS_RIGHT
                                                   : SS_LEFT);
        break;
      case ControlKind::Edit:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Combo:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
        height = c.height + kSeriesItems * kFontHeight * 2;  // room for the whole list
        break;
      case ControlKind::Button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
      case ControlKind::Image:
        continue;  // painted by the window itself
    }
    if (c.tabStop) style |= WS_TABSTOP;
    if (!c.enabledAtStart) style |= WS_DISABLED;
    const std::wstring text = ToWide(c.text);
    HWND child = CreateWindowExW(exStyle, cls, c.kind == ControlKind::Combo ? L"" : text.c_str(), style, c.left,
                                 c.top, c.width, height, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    items_[static_cast<std::size_t>(c.id - control::kFirst)] = child;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (c.sizeToText) SizeToText(child, text);
    if (c.kind == ControlKind::Combo) {
      FillSeriesList(child);
      const LRESULT index = SendMessageW(child, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
      SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      SetWindowTextW(child, text.c_str());
      seriesText_ = std::u16string(c.text);
    }
    if (c.handlers != ControlHandlers::None) {
      HWND target = child;
      if (c.kind == ControlKind::Combo) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(child, &info)) target = info.hwndItem;
      }
      SetWindowSubclass(target, BoxSubclassProc, static_cast<UINT_PTR>(c.handlers),
                        reinterpret_cast<DWORD_PTR>(this));
    }
  }
}

// The selector's list: the series of the texts, separated by "|".
void TFormMain::FillSeriesList(HWND combo) {
  const std::wstring list = ToWide(texts::SeriesList);
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t bar = std::min(list.find(L'|', start), list.size());
    const std::wstring item = list.substr(start, bar - start);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    start = bar + 1;
  }
  SendMessageW(combo, CB_SETMINVISIBLE, kSeriesItems, 0);
}

void TFormMain::AddHints() {
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, instance_, nullptr);
  if (tooltip_ == nullptr) return;
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  for (const ControlRow& c : kMainWindowControls) {
    if (c.hint.empty()) continue;
    std::wstring hint = ToWide(c.hint);
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
  const ControlRow& exit = ControlOf(control::ButtonExit);
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
    const ControlRow& img = ControlOf(control::ImageLPF);
    const common::UniqueDC mem(CreateCompatibleDC(dc));
    const common::ScopedSelect picture(mem.get(), schematic_.get());
    BitBlt(dc, img.left, img.top, img.width, img.height, mem.get(), 0, 0, SRCCOPY);
  }
  EndPaint(hwnd_, &ps);
}

bool TFormMain::OnSetCursor(HWND over) {
  if (over != Item(control::LabelHelp)) return false;
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
    case control::ButtonCalc:
      if (code == BN_CLICKED) ButtonCalcClick();
      break;
    case control::ButtonPrint:
      if (code == BN_CLICKED) ButtonPrintClick();
      break;
    case control::ButtonCopy:
      if (code == BN_CLICKED) ButtonCopyClick();
      break;
    case control::ButtonExit:
      if (code == BN_CLICKED) ButtonExitClick();
      break;
    case control::LabelHelp:
      if (code == STN_CLICKED) LabelHelpClick();
      break;
    case control::ComboBoxER:
      if (code == CBN_EDITCHANGE) {
        // Wine also reports a mere change of the selection (Ctrl+A) here.
        if (Text(control::ComboBoxER) != seriesText_) ComboBoxERChange();
      } else if (code == CBN_SELCHANGE) {
        ComboBoxERChosen();
      }
      break;
    default:
      break;  // IDOK / IDCANCEL from the dialog manager: nothing to do
  }
}

// ---- Small helpers ----

HWND TFormMain::Item(int id) const {
  const auto index = static_cast<std::size_t>(id - control::kFirst);
  return index < items_.size() ? items_[index] : nullptr;
}

std::u16string TFormMain::Text(int id) const { return common::WindowText(Item(id)); }

void TFormMain::SetText(int id, std::u16string_view text) { SetWindowTextW(Item(id), ToWide(text).c_str()); }

}  // namespace velmora::main
