// The base of the program's windows: the window object is stored with its
// window at WM_NCCREATE, every message goes to the object's HandleMessage,
// and an exception that escapes a handler (a floating-point error of a
// command, say) is shown in the error box here, the one place for it, instead
// of crossing the system's frames.
#pragma once

#include <windows.h>

#include "common/win/error_box.h"

namespace velmora::common {

// Derived provides `LRESULT HandleMessage(UINT, WPARAM, LPARAM)` (reached
// through friendship or in public) and, if the default handling is not
// DefWindowProcW, a static `DefaultProc` with its signature.
template <class Derived>
class BaseWindow {
 public:
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  HWND Handle() const { return hwnd_; }

  static LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }

 protected:
  BaseWindow() = default;
  ~BaseWindow() = default;

  // Registers the window class `cls` (once; lpfnWndProc, hInstance and cbSize
  // are filled in here) and creates the window with this object; false when
  // either fails. The size is the outer size.
  bool CreateWindowObject(WNDCLASSEXW cls, HINSTANCE instance, DWORD exStyle, const wchar_t* title,
                          DWORD style, int x, int y, int width, int height, HWND owner) {
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &BaseWindow::WndProc;
    cls.hInstance = instance;
    if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    CreateWindowExW(exStyle, cls.lpszClassName, title, style, x, y, width, height, owner, nullptr, instance,
                    static_cast<Derived*>(this));
    return hwnd_ != nullptr;
  }

  // Destroys the window if it still exists; the destructor of a derived
  // window calls this, while its members still live.
  void DestroyWindowObject() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return Derived::DefaultProc(hwnd, msg, wParam, lParam);
    const LRESULT result = ReportErrors(hwnd, 0, [&] { return self->HandleMessage(msg, wParam, lParam); });
    if (msg == WM_NCDESTROY) {  // the last message: the object lets go of the window
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }
};

}  // namespace velmora::common
