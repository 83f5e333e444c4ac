// Velmora: start-up and the event loop.
#include <windows.h>
#include <commctrl.h>

#include "help/win/form_help.h"
#include "main/win/form_main.h"

namespace {

HINSTANCE g_instance = nullptr;
velmora::main::TFormMain* FormMain = nullptr;
velmora::help::TFormHelp* FormHelp = nullptr;

int RunEventLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (FormMain->PreTranslateMessage(msg)) continue;  // the explorer window's keys
    // Tab, Shift+Tab and the box keys of the main window go through the dialog manager.
    if (FormMain->Handle() != nullptr && IsDialogMessageW(FormMain->Handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  g_instance = instance;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);

  velmora::main::TFormMain formMain;
  velmora::help::TFormHelp formHelp;
  FormMain = &formMain;
  FormHelp = &formHelp;
  if (!FormMain->Create(g_instance, FormHelp)) return 1;
  // The help window is created hidden before any message is handled; the
  // main window is shown first so that it appears without waiting for it.
  FormMain->Show(showCommand);
  if (!FormHelp->Create(g_instance, FormMain->Handle())) return 1;
  const int code = RunEventLoop();
  FormMain = nullptr;
  FormHelp = nullptr;
  return code;
}
