#include "explore/win/explorer_page.h"

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

}  // namespace velmora::explore
