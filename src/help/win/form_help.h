// The help window: a resizable window holding one editable text box with the
// input conventions. Closing it only hides it.
#pragma once

#include <windows.h>

namespace velmora::help {

class TFormHelp {
 public:
  static constexpr const wchar_t* kClassName = L"TFormHelp";

  TFormHelp() = default;
  TFormHelp(const TFormHelp&) = delete;
  TFormHelp& operator=(const TFormHelp&) = delete;
  ~TFormHelp();

  // Creates the window hidden, owned by `owner`.
  bool Create(HINSTANCE instance, HWND owner);
  // Shows the window and brings it to the front; the first time it is placed
  // centred over `mainWindow` (kept inside the work area on the left and top).
  void ShowOver(HWND mainWindow);
  HWND Handle() const { return hwnd_; }
  HWND Memo() const { return memo_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnCreate();
  void OnSize(int width, int height);

  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND memo_ = nullptr;
  HFONT font_ = nullptr;
  bool placed_ = false;
};

}  // namespace velmora::help
