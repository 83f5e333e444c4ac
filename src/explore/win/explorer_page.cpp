#include "explore/win/explorer_page.h"

#include "common/win/handles.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"

namespace velmora::explore {

void CreatePageControls(const PageHost& host, std::span<const PageControl> table, int top) {
  using Kind = PageControl::Kind;
  for (const PageControl& c : table) {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD;
    DWORD exStyle = 0;
    switch (c.kind) {
      case Kind::Label: style |= SS_RIGHT; break;
      case Kind::Status: style |= SS_LEFT | SS_NOPREFIX; break;
      case Kind::Edit:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Combo: cls = L"COMBOBOX"; style |= WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL; break;
      case Kind::Button: cls = L"BUTTON"; style |= WS_TABSTOP | BS_PUSHBUTTON; break;
      case Kind::Radio:
        cls = L"BUTTON";
        style |= BS_AUTORADIOBUTTON | (c.groupStart ? WS_GROUP | WS_TABSTOP : 0);
        break;
      case Kind::Progress: cls = PROGRESS_CLASSW; break;
      case Kind::List:
        cls = WC_LISTVIEWW;
        style |= WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Memo:
        cls = L"EDIT";
        style |= WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    }
    const std::wstring caption = common::ToWide(c.caption);
    HWND w = CreateWindowExW(exStyle, cls, caption.c_str(), style, c.left, top + c.top, c.width, c.height,
                             host.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), host.instance,
                             nullptr);
    const HFONT font = c.kind == Kind::Status ? host.boldFont : host.font;
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

void ShowPageControls(HWND window, std::span<const PageControl> table, bool shown) {
  for (const PageControl& c : table) ShowWindow(GetDlgItem(window, c.id), shown ? SW_SHOW : SW_HIDE);
}

void ExplorerPage::SetControlText(HWND window, int id, std::u16string_view text) {
  settingText_ = true;
  SetWindowTextW(GetDlgItem(window, id), common::ToWide(text).c_str());
  settingText_ = false;
}

void RefuseBox(HWND window, int box, std::u16string_view message) {
  common::MessageBoxCentered(common::ToWide(message), common::MsgDlgType::Warning, common::msgdlg::kOK, 0, window);
  SetFocus(GetDlgItem(window, box));
  SendMessageW(GetDlgItem(window, box), EM_SETSEL, 0, -1);
}

void PaintOffScreen(HDC target, const RECT& area, HFONT font, const std::function<void(HDC, int, int)>& draw) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  common::UniqueDC dc(CreateCompatibleDC(target));
  common::UniqueBitmap bitmap(CreateCompatibleBitmap(target, w, h));
  if (!dc || !bitmap) return;
  common::ScopedSelect selectBitmap(dc.get(), bitmap.get());
  common::ScopedSelect selectFont(dc.get(), font);
  RECT all{0, 0, w, h};
  FillRect(dc.get(), &all, GetSysColorBrush(COLOR_WINDOW));
  SetBkMode(dc.get(), TRANSPARENT);
  SetTextColor(dc.get(), GetSysColor(COLOR_WINDOWTEXT));
  draw(dc.get(), w, h);
  FrameRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNSHADOW));
  BitBlt(target, area.left, area.top, w, h, dc.get(), 0, 0, SRCCOPY);
}

}  // namespace velmora::explore
