// The main window's keys: the subclass of its boxes that routes key-downs
// and characters to EditZoKeyDown and EditZoKeyPress, and the focus
// movement of Enter, Down and Up.
#include <windows.h>
#include <commctrl.h>

#include "common/win/error_box.h"
#include "main/win/form_main.h"

namespace velmora::main {

using common::ReportErrors;

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
      if ((handlers & static_cast<unsigned>(ControlHandlers::KeyDown)) != 0) {
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
      if ((handlers & static_cast<unsigned>(ControlHandlers::KeyPress)) != 0) {
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

}  // namespace velmora::main
