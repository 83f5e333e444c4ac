#include "help/win/form_help.h"

#include <string>

#include "common/placement.h"
#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "help/win/help_resource.h"
#include "main/texts.h"

namespace velmora::help {

namespace {

constexpr int kClientWidth = 566;
constexpr int kClientHeight = 234;
constexpr int kFontHeight = 11;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;

}  // namespace

TFormHelp::~TFormHelp() { DestroyWindowObject(); }

bool TFormHelp::Create(HINSTANCE instance, HWND owner) {
  instance_ = instance;
  WNDCLASSEXW wc{};
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  const std::wstring caption = common::ToWide(main::texts::HelpCaption);
  return CreateWindowObject(wc, instance, 0, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            r.right - r.left, r.bottom - r.top, owner);
}

void TFormHelp::ShowOver(HWND mainWindow) {
  if (!placed_) {
    RECT mainRect{}, own{};
    GetWindowRect(mainWindow, &mainRect);
    GetWindowRect(hwnd_, &own);
    const common::ScreenPoint p = common::HelpWindowFirstPosition(
        common::ToScreenRect(mainRect), own.right - own.left, own.bottom - own.top,
        common::ToScreenRect(common::MonitorWorkArea(mainWindow)));
    SetWindowPos(hwnd_, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    placed_ = true;
  }
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd_);
  BringWindowToTop(hwnd_);
}

LRESULT TFormHelp::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == common::FontQueryMessage()) return common::AnswerFontQuery(hwnd_, wParam);
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_.get());  // the window's font, which the text box uses
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
      memo_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TFormHelp::OnCreate() {
  LOGFONTW lf{};
  lf.lfHeight = -kFontHeight;
  lf.lfCharSet = DEFAULT_CHARSET;
  const std::wstring face = common::ToWide(main::texts::HelpFont);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  // The face has no Japanese glyphs: the system's font linking supplies them
  // when the text is drawn. (Asking the face itself, e.g. GetGlyphIndicesW,
  // does not see linked fonts and always finds them missing.)
  font_.reset(CreateFontIndirectW(&lf));
  // UTF-8 with CR LF line ends in the resources.
  const std::wstring text = common::LoadResourceUtf8(instance_, IDR_HELPTEXT);
  memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                              ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN,
                          0, 0, kClientWidth, kClientHeight, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MEMO1)), instance_, nullptr);
  SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

void TFormHelp::OnSize(int width, int height) {
  if (memo_ != nullptr) MoveWindow(memo_, 0, 0, width, height, TRUE);
}

}  // namespace velmora::help
