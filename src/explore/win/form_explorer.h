// The explorer window: pages reached by a tab strip (every series, the
// tolerance analysis, the frequency response with a real op-amp) for the design the program gives it. Modeless, owned
// by the main window, hidden rather than destroyed when closed so that it
// keeps its size, place and contents for the run.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "common/win/base_window.h"
#include "common/win/handles.h"
#include "explore/win/frequency_page.h"
#include "explore/win/series_page.h"
#include "explore/win/tolerance_page.h"
#include "main/design.h"

namespace velmora::explore {

class TFormExplorer : public common::BaseWindow<TFormExplorer> {
 public:
  static constexpr const wchar_t* kClassName = L"TFormExplorer";
  enum class Page { Series, Tolerance, Frequency };

  // What the window asks of the program around it: the design it follows,
  // and a series chosen from its list.
  struct Links {
    // The inputs of the last calculation of the design; nullopt before the first.
    std::function<std::optional<DesignInputs>()> current;
    // Puts series `er` into the design and calculates it.
    std::function<void(std::int32_t er)> chooseSeries;
  };

  // The smallest client area: every control of every page stays inside it.
  static constexpr SIZE kMinClient{700, 460};

  TFormExplorer();
  ~TFormExplorer();

  // Shows the window on `page`, creating it (owned by `owner`, in its font)
  // the first time.
  void Open(HINSTANCE instance, HWND owner, const Links& links, Page page);
  // After a calculation of the design: the window, if it exists, refreshes
  // from Links::current once the messages before have been handled (when
  // hidden, at its next showing). Never throws; does nothing before the
  // first Open.
  void Follow() noexcept;
  // The window's keyboard navigation (Tab, Enter) for a message of the loop;
  // true when the message was used.
  bool PreTranslate(MSG& msg);

 private:
  friend class common::BaseWindow<TFormExplorer>;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnSize(int width, int height);
  void OnActivate(bool active);
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header);
  void OnPaint();

  void ShowPage(Page page);
  void Refresh();
  ExplorerPage& PageOf(Page page);

  Links links_;
  HFONT font_ = nullptr;  // the main window's: it outlives this window
  common::UniqueFont boldFont_;
  SeriesPage series_;
  TolerancePage tolerance_;
  FrequencyPage frequency_;
  Page page_ = Page::Series;
  bool stale_ = true;     // a calculation happened while the window was hidden
  HWND focus_ = nullptr;  // the control that gets the focus when the window is activated
};

}  // namespace velmora::explore
