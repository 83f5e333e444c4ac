// opens_window TITLE: shows one top-level window captioned TITLE until it is
// closed, or for 30 seconds. Under Wine the window reaches the X display only
// when the prefix's desktop process has a display driver; the caller looks for
// it there. Exit status 1 when the window could not even be created.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* title = argc > 1 ? argv[1] : L"opens_window";
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OpensWindow";
  if (!RegisterClassW(&wc)) return 1;
  HWND window = CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) {
    std::printf("no window: error %lu\n", GetLastError());
    return 1;
  }
  ShowWindow(window, SW_SHOW);
  SetTimer(window, 1, 30000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) DestroyWindow(window);
    DispatchMessageW(&msg);
  }
  return 0;
}
