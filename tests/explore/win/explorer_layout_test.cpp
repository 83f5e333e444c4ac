// The explorer window laid out at its smallest, default and maximised sizes,
// on each page, with the longest texts its status lines show: every control
// lies inside the client area, no two overlap, and each static text fits its
// control on one line. Driven in-process, where the controls can be read.
#include "explore/win/form_explorer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "explore/win/explorer_resource.h"
#include "explore/win/window_testing.h"
#include "main/win/form_main.h"

namespace velmora::explore {
namespace {

using testing::PumpUntil;
using testing::TextOf;

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

struct Control {
  int id;
  std::wstring cls, text;
  RECT rect;  // client coordinates of the explorer
  HWND hwnd;
};

// The visible direct children of `window`.
std::vector<Control> VisibleControls(HWND window) {
  std::vector<Control> out;
  for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsWindowVisible(c)) continue;
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    out.push_back({GetDlgCtrlID(c), ClassOf(c), TextOf(c), r, c});
  }
  return out;
}

std::string Name(const Control& c) { return "control " + std::to_string(c.id); }

// What is wrong with the layout as it stands; empty when nothing is.
std::vector<std::string> LayoutFaults(HWND window) {
  std::vector<std::string> faults;
  RECT client{};
  GetClientRect(window, &client);
  const std::vector<Control> controls = VisibleControls(window);
  if (controls.size() < 3) faults.push_back("only " + std::to_string(controls.size()) + " controls shown");
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    const RECT& r = c.rect;
    if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom || r.right <= r.left ||
        r.bottom <= r.top) {
      faults.push_back(Name(c) + " lies outside the client area");
    }
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      RECT both{};
      if (IntersectRect(&both, &r, &controls[j].rect)) faults.push_back(Name(c) + " overlaps " + Name(controls[j]));
    }
    if (c.cls == L"Static" && !c.text.empty()) {
      HDC dc = GetDC(c.hwnd);
      const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(c.hwnd, WM_GETFONT, 0, 0)));
      SIZE size{};
      GetTextExtentPoint32W(dc, c.text.c_str(), static_cast<int>(c.text.size()), &size);
      SelectObject(dc, old);
      ReleaseDC(c.hwnd, dc);
      if (size.cx > r.right - r.left || size.cy > r.bottom - r.top) {
        faults.push_back(Name(c) + ": its text needs " + std::to_string(size.cx) + "x" + std::to_string(size.cy) +
                         ", it has " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
      }
    }
  }
  return faults;
}

class ExplorerLayout : public testing::ExplorerWindowTest {
 protected:
  // Opens the explorer on `page` for `design` and waits for its analysis.
  void Open(TFormExplorer::Page page, const DesignInputs& design) {
    OpenOn(page, design);
    HWND yield = GetDlgItem(explorer_->Handle(), IDC_EX_YIELD);
    ASSERT_TRUE(PumpUntil([yield] { return TextOf(yield).find(L'/') != std::wstring::npos; }))
        << "the analysis did not end: " << ::testing::PrintToString(TextOf(yield));
  }

  // The faults of each page at the smallest, the default and the maximised size.
  void ExpectEveryPageLaidOut(const char* what) {
    HWND w = explorer_->Handle();
    RECT defaults{};
    GetWindowRect(w, &defaults);
    const struct {
      const char* name;
      std::function<void()> apply;
    } sizes[] = {
        {"smallest", [w] { SetWindowPos(w, nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER); }},
        {"default", [w, defaults] {
           SetWindowPos(w, nullptr, 0, 0, defaults.right - defaults.left, defaults.bottom - defaults.top,
                        SWP_NOMOVE | SWP_NOZORDER);
         }},
        {"maximised", [w] { ShowWindow(w, SW_MAXIMIZE); }},
    };
    for (const auto& size : sizes) {
      size.apply();
      for (int tab : {0, 1, 2}) {
        HWND tabs = GetDlgItem(w, IDC_EX_TAB);
        SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
        NMHDR change{tabs, IDC_EX_TAB, TCN_SELCHANGE};
        SendMessageW(w, WM_NOTIFY, IDC_EX_TAB, reinterpret_cast<LPARAM>(&change));
        for (const std::string& fault : LayoutFaults(w))
          ADD_FAILURE() << what << ", " << size.name << " size, page " << tab << ": " << fault;
      }
    }
    ShowWindow(w, SW_RESTORE);
  }

};

TEST_F(ExplorerLayout, EveryControlStaysInsideAndApartAtThreeSizes) {
  Open(TFormExplorer::Page::Tolerance, {0.0, 600, 10000, 10000, 68, 24});
  ExpectEveryPageLaidOut("the default design");
}

TEST_F(ExplorerLayout, TheLongestStatusLinesFitOnOneLine) {
  // Every circuit unstable: the warning line counts every sample and corner.
  Open(TFormExplorer::Page::Tolerance, {0.0, -600, -10000, -10000, -1000, 24});
  ASSERT_FALSE(TextOf(GetDlgItem(explorer_->Handle(), IDC_EX_UNSTABLE)).empty());
  ExpectEveryPageLaidOut("an unstable design");
}

}  // namespace
}  // namespace velmora::explore
