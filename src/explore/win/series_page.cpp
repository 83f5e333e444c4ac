#include "explore/win/series_page.h"

#include <algorithm>
#include <array>
#include <string>

#include "common/utf.h"
#include "common/win/clipboard.h"
#include "common/win/win_text.h"
#include "explore/explorer.h"
#include "explore/explorer_tables.h"
#include "explore/win/explorer_resource.h"
#include "main/texts.h"

namespace velmora::explore {

namespace {

using common::ToWide;
using Kind = PageControl::Kind;

// The list and the copy button are placed by Layout.
constexpr std::array kControls = {
    PageControl{IDC_EX_LIST, Kind::List, 8, 8, 0, 0, {}},
    PageControl{IDC_EX_COPY_SERIES, Kind::Button, 8, 0, 70, 25, main::texts::ExplorerCopy},
};

std::wstring Wide(const std::string& utf8) { return ToWide(common::Utf8ToUtf16(utf8)); }

}  // namespace

void SeriesPage::Create(const PageHost& host, int top) {
  host_ = host;
  CreatePageControls(host, kControls, top);
  SendMessageW(Item(IDC_EX_LIST), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
}

void SeriesPage::Show(bool shown) { ShowPageControls(host_.window, kControls, shown); }

void SeriesPage::Layout(const RECT& area) {
  const int width = area.right - area.left;
  MoveWindow(Item(IDC_EX_LIST), area.left + 8, area.top + 8, std::max(width - 16, 10),
             std::max(static_cast<int>(area.bottom - area.top) - 49, 10), TRUE);
  MoveWindow(Item(IDC_EX_COPY_SERIES), area.left + 8, area.bottom - 33, 70, 25, TRUE);
}

HWND SeriesPage::FirstControl() const { return Item(IDC_EX_LIST); }

void SeriesPage::Follow(const std::optional<DesignInputs>& design) {
  SendMessageW(Item(IDC_EX_LIST), LVM_DELETEALLITEMS, 0, 0);
  tables_.clear();
  series_.clear();
  if (design) FillList(*design);
}

void SeriesPage::FillList(const DesignInputs& design) {
  HWND list = Item(IDC_EX_LIST);
  series_ = DefaultSeriesList();
  tables_ = SeriesTables(design, ExploreSeries(design, series_));
  const Table& t = tables_.back();
  if (Header_GetItemCount(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0))) == 0) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      std::wstring heading = Wide(t.columns[i].heading);
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      col.fmt = i == 0 || i + 1 == t.columns.size() ? LVCFMT_LEFT : LVCFMT_RIGHT;
      col.cx = i + 1 == t.columns.size() ? 150 : 72;
      col.pszText = heading.data();
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
  }
  for (std::size_t r = 0; r < t.rows.size(); ++r) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      std::string text = CellText(t.rows[r][i], t.columns[i]);
      text.erase(0, text.find_first_not_of(' '));
      text.erase(text.find_last_not_of(' ') + 1);
      std::wstring wide = Wide(text);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(r);
      item.iSubItem = static_cast<int>(i);
      item.pszText = wide.data();
      SendMessageW(list, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, i == 0 ? 0 : r,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
  // Each column as wide as its widest cell or its heading.
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE);
    const std::wstring heading = Wide(t.columns[i].heading);
    const LRESULT cells = SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
    const LRESULT head = SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading.c_str())) + 16;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, i, std::max(cells, head) + 6);
  }
  // The row of the design's own series is the selected one.
  const auto current = std::find(series_.begin(), series_.end(), design.ER);
  if (current != series_.end()) {
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(current - series_.begin()),
                 reinterpret_cast<LPARAM>(&state));
  }
}

int SeriesPage::SelectedRow() const {
  return static_cast<int>(SendMessageW(Item(IDC_EX_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SeriesPage::ChooseRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= series_.size() || !choose_) return;
  choose_(series_[static_cast<std::size_t>(row)]);
}

bool SeriesPage::OnCommand(int id, int) {
  if (id != IDC_EX_COPY_SERIES) return false;
  if (!tables_.empty()) {
    common::CopyTextToClipboard(host_.window,
                                common::Utf8ToUtf16(RenderTables({tables_.back()}, TableFormat::Tabs, "\r\n")));
  }
  return true;
}

void SeriesPage::OnEnter(HWND focus) {
  if (focus == Item(IDC_EX_LIST)) ChooseRow(SelectedRow());
}

LRESULT SeriesPage::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_EX_LIST) return 0;
  if (header.code == NM_DBLCLK) {
    ChooseRow(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
  } else if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_RETURN) {
    ChooseRow(SelectedRow());
  }
  return 0;
}

}  // namespace velmora::explore
