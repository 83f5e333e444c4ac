// The explorer window: every series in a list, and the tolerance analysis
// with its yield and histogram, for the design of the main window. Modeless,
// owned by the main window, hidden rather than destroyed when closed so that
// it keeps its size, place and contents for the run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/win/base_window.h"
#include "common/win/handles.h"
#include "explore/explorer.h"
#include "explore/table.h"
#include "explore/yield.h"

namespace velmora::explore {

// What the main window tells the explorer, and what the explorer asks of it.
struct MainLink {
  // The inputs and series of the main window's last Calculate; nullopt
  // before the first.
  std::function<std::optional<DesignInputs>()> current;
  // Puts series `er` into the selector and calculates.
  std::function<void(std::int32_t er)> chooseSeries;
};

class TFormExplorer : public common::BaseWindow<TFormExplorer> {
 public:
  static constexpr const wchar_t* kClassName = L"TFormExplorer";
  enum class Page { Series, Tolerance };

  TFormExplorer();
  ~TFormExplorer();

  // Shows the window on `page`, creating it (owned by `owner`, in its font)
  // the first time.
  void Open(HINSTANCE instance, HWND owner, const MainLink& link, Page page);
  // After the main window's Calculate: the window, if it exists, refreshes
  // from MainLink::current once the messages before have been handled (when
  // hidden, at its next showing). Never throws; does nothing before the
  // first Open.
  void Follow() noexcept;
  // The window's keyboard navigation (Tab, Enter) for a message of the loop;
  // true when the message was used.
  bool PreTranslate(MSG& msg);

  static LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }

 private:
  friend class common::BaseWindow<TFormExplorer>;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  struct Job;  // one tolerance analysis on a worker thread

  void OnCreate();
  void OnSize(int width, int height);
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header);
  void OnPaint();
  void OnTimer();
  void OnJobDone(std::uint64_t generation);

  void ShowPage(Page page);
  void Refresh();
  void FillSeries();
  void ChooseRow(int row);
  void CopySeries();
  void CopyTolerance();
  void StartAnalysis(bool quiet);
  void CancelAnalysis();
  void DisableCancel();
  void ShowAnalysis();
  void ClearAnalysis(std::u16string_view status);
  void DrawHistogram(HDC dc, const RECT& area);
  // A box whose text cannot be used, and the message that says why.
  struct BadField {
    int id;
    std::u16string_view message;
  };
  std::optional<BadField> ReadSettings(ToleranceSettings& settings) const;

  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  void SetText(int id, std::u16string_view text);

  HINSTANCE instance_ = nullptr;
  HWND owner_ = nullptr;
  MainLink link_;
  HFONT font_ = nullptr;  // the main window's: it outlives this window
  common::UniqueFont boldFont_;
  Page page_ = Page::Series;
  int lineHeight_ = 16;
  RECT histogramArea_{};
  HWND focus_ = nullptr;  // the control that gets the focus when the window is activated

  // The every-series page.
  std::vector<Table> seriesTables_;
  std::vector<std::int32_t> seriesList_;

  // The tolerance page.
  std::optional<DesignInputs> inputs_;
  bool stale_ = true;  // a Calculate happened while the window was hidden
  bool toleranceEdited_ = false;  // the user typed a tolerance: it no longer follows the series
  bool settingText_ = false;      // a change notification from the program's own SetText
  Figure shown_ = Figure::Zo;
  std::unique_ptr<Job> job_;
  std::thread worker_;
  std::uint64_t generation_ = 0;
  std::optional<ToleranceReport> report_;
};

}  // namespace velmora::explore
