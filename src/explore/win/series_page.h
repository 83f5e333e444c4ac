// The explorer's every-series page: the design in each series, one row per
// series in a list; a double-click or Enter on a row puts that series into
// the design. Copy puts the table on the clipboard.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "explore/table.h"
#include "explore/win/explorer_page.h"

namespace velmora::explore {

class SeriesPage : public ExplorerPage {
 public:
  // `choose` puts a series into the design and calculates it.
  explicit SeriesPage(std::function<void(std::int32_t er)> choose) : choose_(std::move(choose)) {}

  void Create(const PageHost& host, int top) override;
  void Show(bool shown) override;
  void Layout(const RECT& area) override;
  void Follow(const std::optional<DesignInputs>& design) override;
  HWND FirstControl() const override;
  bool OnCommand(int id, int code) override;
  void OnEnter(HWND focus) override;
  LRESULT OnNotify(const NMHDR& header) override;

 private:
  void FillList(const DesignInputs& design);
  void ChooseRow(int row);
  int SelectedRow() const;
  HWND Item(int id) const { return GetDlgItem(host_.window, id); }

  std::function<void(std::int32_t er)> choose_;
  PageHost host_;
  std::vector<Table> tables_;
  std::vector<std::int32_t> series_;  // of the list's rows
};

}  // namespace velmora::explore
