#include "app/program.h"

#include <commctrl.h>

#include <array>
#include <string_view>

#include "common/win/error_box.h"
#include "main/texts.h"

namespace velmora::app {

namespace {

using Page = explore::TFormExplorer::Page;

// The explorer's pages as the main window's menu and the keyboard reach them.
struct ExplorerEntry {
  std::u16string_view menuText;
  WPARAM key;  // with Ctrl
  Page page;
};
constexpr std::array kExplorerEntries = {
    ExplorerEntry{main::texts::ExplorerMenuSeries, 'E', Page::Series},
    ExplorerEntry{main::texts::ExplorerMenuTolerance, 'L', Page::Tolerance},
    ExplorerEntry{main::texts::ExplorerMenuFrequency, 'F', Page::Frequency},
};

}  // namespace

int Program::Run(HINSTANCE instance, int showCommand) {
  instance_ = instance;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);

  main::TFormMain::Links links;
  links.showHelp = [this] { help_.ShowOver(main_.Handle()); };
  links.calculated = [this] { explorer_.Follow(); };
  if (!main_.Create(instance, links)) return 1;
  for (const ExplorerEntry& e : kExplorerEntries) {
    main_.AddMenuCommand(e.menuText, [this, page = e.page] { OpenExplorer(page); });
  }
  // The help window is created hidden before any message is handled; the
  // main window is shown first so that it appears without waiting for it.
  main_.Show(showCommand);
  if (!help_.Create(instance, main_.Handle())) return 1;
  return RunEventLoop();
}

int Program::RunEventLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (Shortcut(msg)) continue;
    if (explorer_.PreTranslate(msg)) continue;  // the explorer's Tab and Enter
    // Tab, Shift+Tab and the box keys of the main window go through the dialog manager.
    if (main_.Handle() != nullptr && IsDialogMessageW(main_.Handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

bool Program::Shortcut(const MSG& msg) {
  // A window without a focused control gets its keys as WM_SYSKEYDOWN, Alt or not.
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
  const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  if (root == nullptr || (root != main_.Handle() && root != explorer_.Handle())) return false;
  for (const ExplorerEntry& e : kExplorerEntries) {
    if (msg.wParam != e.key) continue;
    common::ReportErrors(main_.Handle(), 0, [&] {
      OpenExplorer(e.page);
      return LRESULT{0};
    });
    return true;
  }
  return false;
}

void Program::OpenExplorer(Page page) {
  explore::TFormExplorer::Links links;
  links.current = [this] { return main_.LastCalculation(); };
  links.chooseSeries = [this](std::int32_t er) { main_.ChooseSeries(er); };
  explorer_.Open(instance_, main_.Handle(), links, page);
}

}  // namespace velmora::app
