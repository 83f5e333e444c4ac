// The help window: a resizable window holding one editable text box with the
// input conventions. Closing it only hides it.
#pragma once

#include <windows.h>

#include "common/win/base_window.h"
#include "common/win/handles.h"

namespace velmora::help {

class TFormHelp : public common::BaseWindow<TFormHelp> {
 public:
  static constexpr const wchar_t* kClassName = L"TFormHelp";

  TFormHelp() = default;
  ~TFormHelp();

  // Creates the window hidden, owned by `owner`.
  bool Create(HINSTANCE instance, HWND owner);
  // Shows the window and brings it to the front; the first time it is placed
  // centred over `mainWindow` (kept inside the work area on the left and top).
  void ShowOver(HWND mainWindow);
  HWND Memo() const { return memo_; }

 private:
  friend class common::BaseWindow<TFormHelp>;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnCreate();
  void OnSize(int width, int height);

  HINSTANCE instance_ = nullptr;
  HWND memo_ = nullptr;
  common::UniqueFont font_;
  bool placed_ = false;
};

}  // namespace velmora::help
