#include "help/win/form_help.h"

#include <string>

#include "common/placement.h"
#include "common/win/error_box.h"
#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "help/win/help_resource.h"

namespace velmora::help {

namespace {

constexpr int kClientWidth = 566;
constexpr int kClientHeight = 234;
constexpr int kFontHeight = 11;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;

// The help text is kept as UTF-8 with CR LF line ends in the resources.
std::wstring LoadHelpText(HINSTANCE instance) {
  HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(IDR_HELPTEXT), MAKEINTRESOURCEW(10));
  HGLOBAL mem = res != nullptr ? LoadResource(instance, res) : nullptr;
  const char* bytes = mem != nullptr ? static_cast<const char*>(LockResource(mem)) : nullptr;
  if (bytes == nullptr) return {};
  const int size = static_cast<int>(SizeofResource(instance, res));
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes, size, text.data(), length);
  return text;
}

common::ScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

TFormHelp::~TFormHelp() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool TFormHelp::Create(HINSTANCE instance, HWND owner) {
  instance_ = instance;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  const std::wstring caption = common::LoadResourceText(instance, IDS_HELP_CAPTION);
  hwnd_ = CreateWindowExW(0, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          r.right - r.left, r.bottom - r.top, owner, nullptr, instance, this);
  return hwnd_ != nullptr;
}

void TFormHelp::ShowOver(HWND mainWindow) {
  if (!placed_) {
    RECT mainRect{}, own{};
    GetWindowRect(mainWindow, &mainRect);
    GetWindowRect(hwnd_, &own);
    const common::ScreenPoint p = common::HelpWindowFirstPosition(
        ToScreenRect(mainRect), own.right - own.left, own.bottom - own.top,
        ToScreenRect(common::MonitorWorkArea(mainWindow)));
    SetWindowPos(hwnd_, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    placed_ = true;
  }
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd_);
  BringWindowToTop(hwnd_);
}

LRESULT CALLBACK TFormHelp::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TFormHelp* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TFormHelp*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TFormHelp*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return common::ReportErrors(hwnd, 0, [&] { return self->HandleMessage(msg, wParam, lParam); });
}

LRESULT TFormHelp::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == common::FontQueryMessage()) return common::AnswerFontQuery(hwnd_, wParam);
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);  // the window's font, which the text box uses
    case WM_SIZE:
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETFOCUS:
      if (memo_ != nullptr) SetFocus(memo_);
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);  // kept, with its text and place, for the next showing
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      memo_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TFormHelp::OnCreate() {
  LOGFONTW lf{};
  lf.lfHeight = -kFontHeight;
  lf.lfCharSet = DEFAULT_CHARSET;
  const std::wstring face = common::LoadResourceText(instance_, IDS_HELP_FONT);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  // The face has no Japanese glyphs: the system's font linking supplies them
  // when the text is drawn. (Asking the face itself, e.g. GetGlyphIndicesW,
  // does not see linked fonts and always finds them missing.)
  font_ = CreateFontIndirectW(&lf);
  const std::wstring text = LoadHelpText(instance_);
  memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                              ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN,
                          0, 0, kClientWidth, kClientHeight, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MEMO1)), instance_, nullptr);
  SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void TFormHelp::OnSize(int width, int height) {
  if (memo_ != nullptr) MoveWindow(memo_, 0, 0, width, height, TRUE);
}

}  // namespace velmora::help
