// The explorer's tolerance page: the settings of a tolerance analysis in
// boxes, the analysis of the design run on a worker thread (with progress
// and cancel for long runs), its yield, a warning line when some circuit
// within the tolerance is unstable, the histogram of Zo or the gain, and the
// figures as text. Copy puts the figures and the bins on the clipboard.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "explore/explorer.h"
#include "explore/win/explorer_page.h"
#include "explore/win/tolerance_job.h"

namespace velmora::explore {

class TolerancePage : public ExplorerPage {
 public:
  // The worker's word that a run ended (wParam: the run's generation), and
  // the timer that shows a long run's progress: the window hands both to
  // OnJobDone and OnTimer.
  static constexpr UINT kJobDoneMessage = WM_APP + 2;
  static constexpr UINT_PTR kProgressTimer = 1;

  TolerancePage() = default;
  ~TolerancePage() override;

  void Create(const PageHost& host, int top) override;
  void Show(bool shown) override;
  void Layout(const RECT& area) override;
  // A new design: the tolerance box takes the series' customary tolerance
  // (until the user types one), and the analysis starts quietly: settings
  // that cannot be read wait for the user's Calculate.
  void Follow(const std::optional<DesignInputs>& design) override;
  HWND FirstControl() const override;
  bool OnCommand(int id, int code) override;
  void OnEnter(HWND focus) override;
  bool OnEscape() override;
  void OnPaint(HDC dc) override;
  HBRUSH OnColorStatic(HDC dc, HWND control) override;

  void OnJobDone(std::uint64_t generation);
  void OnTimer();
  // Stops a running analysis, if any (the window is going).
  void Cancel();

 private:
  void StartAnalysis(bool quiet);
  void CancelAnalysis();
  void ShowAnalysis();
  void ClearAnalysis(std::u16string_view status);
  void DisableCancel();
  void CopyFigures();
  void PlaceYield();
  void ShowProgress(bool shown);
  HWND Item(int id) const { return GetDlgItem(host_.window, id); }

  PageHost host_;
  bool shown_ = false;
  RECT area_{};  // the page's, below the tab strip
  RECT histogramArea_{};
  bool progressShown_ = false;
  std::optional<DesignInputs> design_;
  bool toleranceEdited_ = false;  // the user typed a tolerance: it no longer follows the series
  Figure figure_ = Figure::Zo;    // of the histogram
  std::unique_ptr<ToleranceJob> job_;
  std::uint64_t generation_ = 0;
  std::optional<ToleranceReport> report_;
};

}  // namespace velmora::explore
