// The explorer's frequency page: the designed stage with a real op-amp. A
// preset list and boxes for the op-amp's values, its load capacitance and
// the temperature; the Bode plots of |Zo| and the gain; the headline
// figures as text, with a red line when the stage latches. It recomputes as
// the boxes are edited; Copy puts the figures and the sweep on the clipboard.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "explore/win/explorer_page.h"
#include "main/design.h"
#include "response/analysis.h"
#include "response/frequency_fields.h"

namespace velmora::explore {

class FrequencyPage : public ExplorerPage {
 public:
  void Create(const PageHost& host, int top) override;
  void Show(bool shown) override;
  void Layout(const RECT& area) override;
  // A new design: the analysis follows it quietly (boxes that cannot be read
  // leave the page "not computed").
  void Follow(const std::optional<DesignInputs>& design) override;
  HWND FirstControl() const override;
  bool OnCommand(int id, int code) override;
  void OnEnter(HWND focus) override;
  void OnPaint(HDC dc) override;
  HBRUSH OnColorStatic(HDC dc, HWND control) override;

 private:
  // Computes and shows the analysis. Quiet (while the user types): a box
  // that cannot be read clears the page. Otherwise its message is shown and
  // the focus put on it.
  void Compute(bool quiet);
  void ShowReport();
  void Clear(std::u16string_view status);
  void ChoosePreset();
  void CopyFigures();
  HWND Item(int id) const { return GetDlgItem(host_.window, id); }

  PageHost host_;
  bool shown_ = false;
  std::array<RECT, 2> plotArea_{};  // |Zo|, gain
  std::optional<DesignInputs> design_;
  main::DesignState state_{};
  std::optional<response::FrequencyReport> report_;
};

}  // namespace velmora::explore
