#include "explore/win/form_explorer.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <utility>

#include "common/numtext.h"
#include "common/utf.h"
#include "common/win/clipboard.h"
#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "explore/explorer_tables.h"
#include "explore/histogram_picture.h"
#include "explore/win/explorer_resource.h"
#include "main/texts.h"

namespace velmora::explore {

namespace texts = main::texts;

namespace {

using common::ReportErrors;
using common::ToWide;

constexpr UINT kFollowMessage = WM_APP + 1;  // the main window calculated
constexpr UINT kJobDoneMessage = WM_APP + 2;  // wParam: the job's generation
constexpr UINT_PTR kProgressTimer = 1;
constexpr std::uint64_t kThreadedProgress = 100000;  // larger runs show their progress
constexpr std::uint64_t kMaxSamples = 10000000;
constexpr int kClientWidth = 760;
constexpr int kClientHeight = 580;
constexpr int kTabHeight = 26;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

enum class Kind { Label, Edit, Combo, Button, Radio, Progress, List, Memo, Status };

// One control of the window, created in table order (the tab order of those
// that take the focus). Positions are below the tab strip; the list, the
// figures and the labels that run to the right edge are sized in OnSize.
struct ControlEntry {
  int id;
  Kind kind;
  TFormExplorer::Page page;
  int left, top, width, height;
  std::u16string_view caption;
};

using P = TFormExplorer::Page;

// clang-format off
constexpr std::array kLayout = {
  //           id                        kind            page         left  top   w    h   caption
  ControlEntry{IDC_EX_LIST,              Kind::List,     P::Series,      8,   8,  0,   0, {}},
  ControlEntry{IDC_EX_COPY_SERIES,       Kind::Button,   P::Series,      8,   0, 70,  25, texts::ExplorerCopy},
  ControlEntry{IDC_EX_TOL_LABEL,         Kind::Label,    P::Tolerance,   8,  11, 70,  13, texts::ExplorerTolLabel},
  ControlEntry{IDC_EX_TOL,               Kind::Edit,     P::Tolerance,  80,   8, 50,  21, {}},
  ControlEntry{IDC_EX_DIST_LABEL,        Kind::Label,    P::Tolerance, 140,  11, 36,  13, texts::ExplorerDistLabel},
  ControlEntry{IDC_EX_DIST,              Kind::Combo,    P::Tolerance, 178,   8, 70, 200, {}},
  ControlEntry{IDC_EX_SAMPLES_LABEL,     Kind::Label,    P::Tolerance, 256,  11, 72,  13, texts::ExplorerSamplesLabel},
  ControlEntry{IDC_EX_SAMPLES,           Kind::Edit,     P::Tolerance, 330,   8, 80,  21, {}},
  ControlEntry{IDC_EX_SEED_LABEL,        Kind::Label,    P::Tolerance, 418,  11, 48,  13, texts::ExplorerSeedLabel},
  ControlEntry{IDC_EX_SEED,              Kind::Edit,     P::Tolerance, 468,   8, 150, 21, {}},
  ControlEntry{IDC_EX_ACCEPT_ZO_LABEL,   Kind::Label,    P::Tolerance,   8,  39, 80,  13, texts::ExplorerAcceptZoLabel},
  ControlEntry{IDC_EX_ACCEPT_ZO,         Kind::Edit,     P::Tolerance,  90,  36, 50,  21, {}},
  ControlEntry{IDC_EX_ACCEPT_GAIN_LABEL, Kind::Label,    P::Tolerance, 148,  39, 96,  13, texts::ExplorerAcceptGainLabel},
  ControlEntry{IDC_EX_ACCEPT_GAIN,       Kind::Edit,     P::Tolerance, 246,  36, 50,  21, {}},
  ControlEntry{IDC_EX_CALC,              Kind::Button,   P::Tolerance, 310,  34, 60,  25, texts::ExplorerCalc},
  ControlEntry{IDC_EX_CANCEL,            Kind::Button,   P::Tolerance, 376,  34, 60,  25, texts::ExplorerCancel},
  ControlEntry{IDC_EX_COPY_TOL,          Kind::Button,   P::Tolerance, 442,  34, 70,  25, texts::ExplorerCopyTol},
  ControlEntry{IDC_EX_SHOW_ZO,           Kind::Radio,    P::Tolerance, 530,  38, 50,  17, texts::ExplorerShowZo},
  ControlEntry{IDC_EX_SHOW_GAIN,         Kind::Radio,    P::Tolerance, 584,  38, 60,  17, texts::ExplorerShowGain},
  ControlEntry{IDC_EX_PROGRESS,          Kind::Progress, P::Tolerance,   8,  67, 160, 16, {}},
  ControlEntry{IDC_EX_YIELD,             Kind::Status,   P::Tolerance, 176,  68,  0,  16, {}},
  ControlEntry{IDC_EX_UNSTABLE,          Kind::Status,   P::Tolerance,   8,  90,  0,  16, {}},
  ControlEntry{IDC_EX_FIGURES,           Kind::Memo,     P::Tolerance,   8,   0,  0,   0, {}},
};
// clang-format on

constexpr int kHistogramTop = 112;  // below the tab strip

// The tables as tab-separated text for a spreadsheet: per table its keys as
// a header row and its rows in full precision, a blank line between tables.
std::u16string TabSeparated(const std::vector<Table>& tables) {
  std::string out;
  for (const Table& t : tables) {
    if (!out.empty()) out += "\r\n";
    for (std::size_t i = 0; i < t.columns.size(); ++i) out += (i ? "\t" : "") + t.columns[i].key;
    out += "\r\n";
    for (const auto& row : t.rows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        out += i ? "\t" : "";
        out += row[i].kind == Cell::Kind::Text ? row[i].text : CellField(row[i]);
      }
      out += "\r\n";
    }
  }
  return common::Utf8ToUtf16(out);
}

// A histogram's bins as a table, for the copy.
Table BinsTable(const Histogram& h, const char* name) {
  Table t;
  t.name = name;
  t.columns = {{"figure", "figure"}, {"lo", "from"}, {"hi", "to"}, {"count", "samples"}};
  const char* figure = h.figure == Figure::Zo ? "zo" : "gain_db";
  for (std::size_t i = 0; i < h.counts.bins.size(); ++i) {
    t.rows.push_back({Cell::Text(figure), Cell::Number(h.binning.Edge(i)), Cell::Number(h.binning.Edge(i + 1)),
                      Cell::Unsigned(h.counts.bins[i])});
  }
  t.rows.push_back({Cell::Text(figure), Cell::Null(), Cell::Number(h.binning.lo), Cell::Unsigned(h.counts.below)});
  t.rows.push_back({Cell::Text(figure), Cell::Number(h.binning.hi()), Cell::Null(), Cell::Unsigned(h.counts.above)});
  return t;
}

// A whole number with nothing around it but spaces.
std::optional<std::uint64_t> ParseWhole(std::u16string_view text) {
  std::string s = common::Utf16ToUtf8(text);
  s.erase(0, s.find_first_not_of(' '));
  s.erase(s.find_last_not_of(' ') + 1);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// A number as the main window's boxes read it; NaN when it is not one.
double ParseValue(std::u16string_view text) { return common::StrToValue(text); }

std::u16string Percent(double fraction) { return common::FixedDecimal(100.0 * fraction, 2); }

}  // namespace

struct TFormExplorer::Job {
  RunControl control;
  main::DesignState state;
  ToleranceSettings settings;
  std::optional<ToleranceReport> report;
  std::string error;
  std::uint64_t generation = 0;
};

TFormExplorer::TFormExplorer() = default;

TFormExplorer::~TFormExplorer() {
  CancelAnalysis();
  DestroyWindowObject();
}

void TFormExplorer::Open(HINSTANCE instance, HWND owner, const MainLink& link, Page page) {
  if (hwnd_ == nullptr) {
    instance_ = instance;
    owner_ = owner;
    link_ = link;
    font_ = reinterpret_cast<HFONT>(SendMessageW(owner, WM_GETFONT, 0, 0));
    WNDCLASSEXW wc{};
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RECT r{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    // Over the main window, a little down and to the right, inside the work area.
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    const RECT work = common::MonitorWorkArea(owner);
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int x = std::max<int>(work.left, std::min<int>(ownerRect.left + 40, work.right - width));
    const int y = std::max<int>(work.top, std::min<int>(ownerRect.top + 40, work.bottom - height));
    const std::wstring caption = ToWide(texts::ExplorerCaption);
    if (!CreateWindowObject(wc, instance, kExStyle, caption.c_str(), kStyle, x, y, width, height, owner)) return;
  }
  ShowPage(page);
  focus_ = Item(page == Page::Series ? IDC_EX_LIST : IDC_EX_TOL);
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(focus_);
  if (stale_) Refresh();
}

void TFormExplorer::Follow() noexcept {
  if (hwnd_ != nullptr) PostMessageW(hwnd_, kFollowMessage, 0, 0);
}

bool TFormExplorer::PreTranslate(MSG& msg) {
  if (hwnd_ == nullptr || !IsWindowVisible(hwnd_)) return false;
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
  return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

LRESULT TFormExplorer::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == common::FontQueryMessage()) return common::AnswerFontQuery(hwnd_, wParam);
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_SIZE:
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {500, 360};
      return 0;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_ACTIVATE:
      // As a dialog does: the focused control is kept while another window is
      // active and gets the focus back (the default would give it to this
      // window itself, where no key does anything).
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (HWND f = GetFocus(); f != nullptr && IsChild(hwnd_, f)) focus_ = f;
      } else if (focus_ != nullptr && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
        SetFocus(focus_);
      } else {
        SetFocus(Item(page_ == Page::Series ? IDC_EX_LIST : IDC_EX_TOL));
      }
      return 0;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == Item(IDC_EX_UNSTABLE)) {
        // The unstable line is loud: red on the window's face.
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0xC0, 0, 0));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_TIMER:
      if (wParam == kProgressTimer) OnTimer();
      return 0;
    case kFollowMessage:
      Refresh();
      return 0;
    case kJobDoneMessage:
      OnJobDone(static_cast<std::uint64_t>(wParam));
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);  // kept, with its size, place and pages, for the next opening
      return 0;
    case WM_DESTROY:
      CancelAnalysis();
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TFormExplorer::SetText(int id, std::u16string_view text) {
  settingText_ = true;
  SetWindowTextW(Item(id), ToWide(text).c_str());
  settingText_ = false;
}

void TFormExplorer::OnCreate() {
  {
    common::WindowDC dc(hwnd_);
    common::ScopedSelect select(dc.get(), font_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    lineHeight_ = std::max<int>(tm.tmHeight + 2, 12);
    LOGFONTW lf{};
    if (font_ != nullptr && GetObjectW(font_, sizeof lf, &lf) == sizeof lf) {
      lf.lfWeight = FW_BOLD;
      boldFont_.reset(CreateFontIndirectW(&lf));
    }
  }
  const HMENU tabId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EX_TAB));
  HWND tab = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0,
                             kClientWidth, kTabHeight, hwnd_, tabId, instance_, nullptr);
  SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  const std::u16string_view tabs[] = {texts::ExplorerTabSeries, texts::ExplorerTabTolerance};
  for (int i = 0; i < 2; ++i) {
    std::wstring caption = ToWide(tabs[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  for (const ControlEntry& c : kLayout) {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD;
    DWORD exStyle = 0;
    switch (c.kind) {
      case Kind::Label: style |= SS_RIGHT; break;
      case Kind::Status: style |= SS_LEFT | SS_NOPREFIX; break;
      case Kind::Edit:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Combo: cls = L"COMBOBOX"; style |= WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL; break;
      case Kind::Button: cls = L"BUTTON"; style |= WS_TABSTOP | BS_PUSHBUTTON; break;
      case Kind::Radio:
        cls = L"BUTTON";
        style |= BS_AUTORADIOBUTTON | (c.id == IDC_EX_SHOW_ZO ? WS_GROUP | WS_TABSTOP : 0);
        break;
      case Kind::Progress: cls = PROGRESS_CLASSW; break;
      case Kind::List:
        cls = WC_LISTVIEWW;
        style |= WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Memo:
        cls = L"EDIT";
        style |= WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    }
    const std::wstring caption = ToWide(c.caption);
    HWND w = CreateWindowExW(exStyle, cls, caption.c_str(), style, c.left, kTabHeight + c.top, c.width, c.height,
                             hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(c.kind == Kind::Status ? boldFont_.get() : font_), FALSE);
  }
  HWND list = Item(IDC_EX_LIST);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  HWND dist = Item(IDC_EX_DIST);
  const std::u16string_view names = texts::ExplorerDistributions;
  const std::size_t bar = names.find(u'|');
  for (const std::u16string_view name : {names.substr(0, bar), names.substr(bar + 1)}) {
    SendMessageW(dist, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(name).c_str()));
  }
  SendMessageW(dist, CB_SETCURSEL, 0, 0);
  const ToleranceSettings defaults;
  SetText(IDC_EX_SAMPLES, common::Utf8ToUtf16(std::to_string(defaults.samples)));
  SetText(IDC_EX_SEED, common::Utf8ToUtf16(std::to_string(defaults.seed)));
  SetText(IDC_EX_ACCEPT_ZO, common::Utf8ToUtf16(ShortestText(defaults.acceptZoPct)));
  SetText(IDC_EX_ACCEPT_GAIN, common::Utf8ToUtf16(ShortestText(defaults.acceptGainDb)));
  SetText(IDC_EX_TOL, common::Utf8ToUtf16(ShortestText(CustomaryTolerancePct(24))));
  CheckRadioButton(hwnd_, IDC_EX_SHOW_ZO, IDC_EX_SHOW_GAIN, IDC_EX_SHOW_ZO);
  EnableWindow(Item(IDC_EX_CANCEL), FALSE);
  EnableWindow(Item(IDC_EX_COPY_TOL), FALSE);
  ShowPage(Page::Series);
}

void TFormExplorer::OnSize(int width, int height) {
  MoveWindow(Item(IDC_EX_TAB), 0, 0, width, kTabHeight, TRUE);
  const int top = kTabHeight + 8;
  MoveWindow(Item(IDC_EX_LIST), 8, top, std::max(width - 16, 10), std::max(height - top - 41, 10), TRUE);
  MoveWindow(Item(IDC_EX_COPY_SERIES), 8, height - 33, 70, 25, TRUE);
  MoveWindow(Item(IDC_EX_YIELD), 176, kTabHeight + 68, std::max(width - 184, 10), lineHeight_, TRUE);
  MoveWindow(Item(IDC_EX_UNSTABLE), 8, kTabHeight + 90, std::max(width - 16, 10), lineHeight_, TRUE);
  // The histogram takes the upper part of the rest, the figures the lower.
  const int restTop = kTabHeight + kHistogramTop, rest = std::max(height - restTop - 8, 40);
  const int histogramHeight = rest * 11 / 20;
  histogramArea_ = {8, restTop, std::max(width - 8, 18), restTop + histogramHeight};
  MoveWindow(Item(IDC_EX_FIGURES), 8, restTop + histogramHeight + 6, std::max(width - 16, 10),
             std::max(rest - histogramHeight - 6, 10), TRUE);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFormExplorer::ShowPage(Page page) {
  page_ = page;
  SendMessageW(Item(IDC_EX_TAB), TCM_SETCURSEL, page == Page::Series ? 0 : 1, 0);
  for (const ControlEntry& c : kLayout) {
    bool visible = c.page == page;
    if (c.id == IDC_EX_PROGRESS) visible = visible && job_ && job_->settings.samples > kThreadedProgress;
    ShowWindow(Item(c.id), visible ? SW_SHOW : SW_HIDE);
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFormExplorer::OnCommand(int id, int code) {
  switch (id) {
    case IDOK: {  // Enter, from the dialog manager
      const HWND focus = GetFocus();
      if (focus == Item(IDC_EX_LIST)) {
        ChooseRow(static_cast<int>(SendMessageW(focus, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
      } else if (page_ == Page::Tolerance) {
        StartAnalysis(false);
      }
      break;
    }
    case IDCANCEL:  // Esc: stops a run, or else closes the window
      if (job_) {
        CancelAnalysis();
        ClearAnalysis(texts::ExplorerCancelled);
      } else {
        ShowWindow(hwnd_, SW_HIDE);
      }
      break;
    case IDC_EX_COPY_SERIES: CopySeries(); break;
    case IDC_EX_COPY_TOL: CopyTolerance(); break;
    case IDC_EX_CALC: StartAnalysis(false); break;
    case IDC_EX_CANCEL:
      CancelAnalysis();
      ClearAnalysis(texts::ExplorerCancelled);
      break;
    case IDC_EX_SHOW_ZO:
    case IDC_EX_SHOW_GAIN:
      shown_ = id == IDC_EX_SHOW_ZO ? Figure::Zo : Figure::GainDb;
      InvalidateRect(hwnd_, &histogramArea_, FALSE);
      break;
    case IDC_EX_TOL:
      if (code == EN_CHANGE && !settingText_) toleranceEdited_ = true;
      break;
    default: break;
  }
}

LRESULT TFormExplorer::OnNotify(const NMHDR& header) {
  if (header.idFrom == IDC_EX_TAB && header.code == TCN_SELCHANGE) {
    ShowPage(SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0) == 0 ? Page::Series : Page::Tolerance);
  } else if (header.idFrom == IDC_EX_LIST && header.code == NM_DBLCLK) {
    ChooseRow(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
  } else if (header.idFrom == IDC_EX_LIST && header.code == LVN_KEYDOWN &&
             reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_RETURN) {
    ChooseRow(static_cast<int>(SendMessageW(header.hwndFrom, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
  }
  return 0;
}

// ---- Every series ----

void TFormExplorer::Refresh() {
  // A hidden window computes nothing: it catches up when it is shown again.
  stale_ = !IsWindowVisible(hwnd_);
  if (stale_) return;
  inputs_ = link_.current ? link_.current() : std::nullopt;
  FillSeries();
  if (!inputs_) return;
  if (!toleranceEdited_) SetText(IDC_EX_TOL, common::Utf8ToUtf16(ShortestText(CustomaryTolerancePct(inputs_->second))));
  // The analysis follows the design quietly: bad settings wait for the user's Calculate.
  StartAnalysis(true);
}

void TFormExplorer::FillSeries() {
  HWND list = Item(IDC_EX_LIST);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  if (!inputs_) return;
  seriesList_ = DefaultSeriesList();
  seriesTables_ = SeriesTables(inputs_->first, ExploreSeries(inputs_->first, seriesList_));
  const Table& t = seriesTables_.back();
  if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0 &&
      Header_GetItemCount(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0))) == 0) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      std::wstring heading = ToWide(common::Utf8ToUtf16(t.columns[i].heading));
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
      std::wstring wide = ToWide(common::Utf8ToUtf16(text));
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
    const std::wstring heading = ToWide(common::Utf8ToUtf16(t.columns[i].heading));
    const LRESULT cells = SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
    const LRESULT head = SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading.c_str())) + 16;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, i, std::max(cells, head) + 6);
  }
  // The row of the main window's series is the selected one.
  const auto current = std::find(seriesList_.begin(), seriesList_.end(), inputs_->second);
  if (current != seriesList_.end()) {
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(current - seriesList_.begin()),
                 reinterpret_cast<LPARAM>(&state));
  }
}

void TFormExplorer::ChooseRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= seriesList_.size() || !link_.chooseSeries) return;
  link_.chooseSeries(seriesList_[static_cast<std::size_t>(row)]);
}

void TFormExplorer::CopySeries() {
  if (seriesTables_.empty()) return;
  common::CopyTextToClipboard(hwnd_, TabSeparated({seriesTables_.back()}));
}

// ---- Tolerance ----

std::optional<TFormExplorer::BadField> TFormExplorer::ReadSettings(ToleranceSettings& s) const {
  const double pct = ParseValue(common::WindowText(Item(IDC_EX_TOL)));
  if (!(pct > 0.0 && pct < 100.0)) return BadField{IDC_EX_TOL, texts::ExplorerBadTolerance};
  s.pct = pct;
  s.distribution = SendMessageW(Item(IDC_EX_DIST), CB_GETCURSEL, 0, 0) == 1 ? Distribution::Normal : Distribution::Uniform;
  const std::optional<std::uint64_t> samples = ParseWhole(common::WindowText(Item(IDC_EX_SAMPLES)));
  if (!samples || *samples == 0 || *samples > kMaxSamples) return BadField{IDC_EX_SAMPLES, texts::ExplorerBadSamples};
  s.samples = *samples;
  const std::optional<std::uint64_t> seed = ParseWhole(common::WindowText(Item(IDC_EX_SEED)));
  if (!seed) return BadField{IDC_EX_SEED, texts::ExplorerBadSeed};
  s.seed = *seed;
  const double zo = ParseValue(common::WindowText(Item(IDC_EX_ACCEPT_ZO)));
  if (!(zo > 0.0 && zo < 100.0)) return BadField{IDC_EX_ACCEPT_ZO, texts::ExplorerBadAcceptZo};
  s.acceptZoPct = zo;
  const double gain = ParseValue(common::WindowText(Item(IDC_EX_ACCEPT_GAIN)));
  if (!(gain > 0.0 && std::isfinite(gain))) return BadField{IDC_EX_ACCEPT_GAIN, texts::ExplorerBadAcceptGain};
  s.acceptGainDb = gain;
  return std::nullopt;
}

void TFormExplorer::StartAnalysis(bool quiet) {
  CancelAnalysis();  // a new Calculate replaces a running one
  ToleranceSettings settings;
  if (const std::optional<BadField> bad = ReadSettings(settings)) {
    // Nothing stays on show from settings that are no longer the box's.
    ClearAnalysis({});
    if (quiet) return;
    common::MessageBoxCentered(ToWide(bad->message), common::MsgDlgType::Warning, common::msgdlg::kOK, 0, hwnd_);
    SetFocus(Item(bad->id));
    SendMessageW(Item(bad->id), EM_SETSEL, 0, -1);
    return;
  }
  const SeriesRow design = inputs_ ? RunSeries(inputs_->first, inputs_->second) : SeriesRow{};
  if (!inputs_ || !design.result.succeeded()) {
    ClearAnalysis(texts::ExplorerNoDesign);
    return;
  }
  job_ = std::make_unique<Job>();
  job_->state = design.state;
  job_->settings = settings;
  job_->generation = ++generation_;
  Job* job = job_.get();
  const HWND window = hwnd_;
  ClearAnalysis(texts::ExplorerRunning);
  EnableWindow(Item(IDC_EX_CANCEL), TRUE);
  const bool large = settings.samples > kThreadedProgress;
  HWND progress = Item(IDC_EX_PROGRESS);
  SendMessageW(progress, PBM_SETRANGE32, 0, 1000);
  SendMessageW(progress, PBM_SETPOS, 0, 0);
  ShowWindow(progress, large && page_ == Page::Tolerance ? SW_SHOW : SW_HIDE);
  if (large) SetTimer(hwnd_, kProgressTimer, 100, nullptr);
  worker_ = std::thread([job, window] {
    try {
      job->report = AnalyseTolerance(job->state, job->settings, &job->control);
    } catch (const std::exception& e) {
      job->error = e.what();
    }
    PostMessageW(window, kJobDoneMessage, static_cast<WPARAM>(job->generation), 0);
  });
}

// Greys Cancel; the focus, if it was there, moves on to Calculate rather
// than to nowhere.
void TFormExplorer::DisableCancel() {
  if (GetFocus() == Item(IDC_EX_CANCEL)) SetFocus(Item(IDC_EX_CALC));
  EnableWindow(Item(IDC_EX_CANCEL), FALSE);
}

void TFormExplorer::CancelAnalysis() {
  if (!job_) return;
  job_->control.cancel = true;
  if (worker_.joinable()) worker_.join();
  job_.reset();
  if (hwnd_ != nullptr) {
    KillTimer(hwnd_, kProgressTimer);
    ShowWindow(Item(IDC_EX_PROGRESS), SW_HIDE);
    DisableCancel();
  }
}

void TFormExplorer::OnTimer() {
  if (!job_) return;
  const double done = static_cast<double>(job_->control.done.load());
  const double share = std::min(done / static_cast<double>(job_->settings.samples), 1.0);
  SendMessageW(Item(IDC_EX_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(share * 1000.0), 0);
}

void TFormExplorer::OnJobDone(std::uint64_t generation) {
  if (!job_ || job_->generation != generation) return;  // a cancelled run's late word
  if (worker_.joinable()) worker_.join();
  std::unique_ptr<Job> job = std::move(job_);
  KillTimer(hwnd_, kProgressTimer);
  ShowWindow(Item(IDC_EX_PROGRESS), SW_HIDE);
  DisableCancel();
  if (!job->error.empty()) {
    ClearAnalysis(common::Utf8ToUtf16(job->error));
    return;
  }
  if (!job->report || job->report->monteCarlo.cancelled) {
    ClearAnalysis(texts::ExplorerCancelled);
    return;
  }
  report_ = std::move(job->report);
  ShowAnalysis();
}

void TFormExplorer::ClearAnalysis(std::u16string_view status) {
  report_.reset();
  SetText(IDC_EX_FIGURES, u"");
  SetText(IDC_EX_YIELD, status);
  SetText(IDC_EX_UNSTABLE, u"");
  EnableWindow(Item(IDC_EX_COPY_TOL), FALSE);
  InvalidateRect(hwnd_, &histogramArea_, FALSE);
}

void TFormExplorer::ShowAnalysis() {
  const ToleranceReport& r = *report_;
  std::string figures = RenderTables(ToleranceTables(r), TableFormat::Text, "\r\n");
  SetText(IDC_EX_FIGURES, common::Utf8ToUtf16(figures));
  const Proportion y = YieldOf(r.monteCarlo);
  std::u16string line = std::u16string(texts::ExplorerYield) + u" " + Percent(y.share) + u" %  (95 % Wilson: " +
                        Percent(y.low) + u" – " + Percent(y.high) + u" %)  " +
                        common::Utf8ToUtf16(std::to_string(r.monteCarlo.counts.accepted) + " / " +
                                            std::to_string(r.monteCarlo.samples));
  SetText(IDC_EX_YIELD, line);
  std::u16string unstable;
  if (r.unstable()) {
    unstable = std::u16string(texts::ExplorerUnstable) + u": Monte Carlo " +
               common::Utf8ToUtf16(std::to_string(r.monteCarlo.bad) + " / " + std::to_string(r.monteCarlo.samples) +
                                   ", corners " + std::to_string(r.worst.badCorners) + " / 32");
  }
  SetText(IDC_EX_UNSTABLE, unstable);
  EnableWindow(Item(IDC_EX_COPY_TOL), TRUE);
  InvalidateRect(hwnd_, &histogramArea_, FALSE);
}

void TFormExplorer::CopyTolerance() {
  if (!report_) return;
  std::vector<Table> tables = ToleranceTables(*report_);
  tables.push_back(BinsTable(HistogramOf(*report_, Figure::Zo), "histogram_zo"));
  tables.push_back(BinsTable(HistogramOf(*report_, Figure::GainDb), "histogram_gain_db"));
  common::CopyTextToClipboard(hwnd_, TabSeparated(tables));
}

// ---- The histogram ----

void TFormExplorer::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  if (page_ == Page::Tolerance) DrawHistogram(dc, histogramArea_);
  EndPaint(hwnd_, &ps);
}

void TFormExplorer::DrawHistogram(HDC target, const RECT& area) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  // Drawn off the screen first, so that a redraw does not flicker.
  common::UniqueDC dc(CreateCompatibleDC(target));
  common::UniqueBitmap bitmap(CreateCompatibleBitmap(target, w, h));
  if (!dc || !bitmap) return;
  common::ScopedSelect selectBitmap(dc.get(), bitmap.get());
  common::ScopedSelect selectFont(dc.get(), font_);
  RECT all{0, 0, w, h};
  FillRect(dc.get(), &all, GetSysColorBrush(COLOR_WINDOW));
  FrameRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNSHADOW));
  SetBkMode(dc.get(), TRANSPARENT);
  if (report_) {
    using UniqueBrush = common::UniqueHandle<HBRUSH, &common::detail::DeleteGdiObject<HBRUSH>>;
    using UniquePen = common::UniqueHandle<HPEN, &common::detail::DeleteGdiObject<HPEN>>;
    const UniqueBrush windowBrush(CreateSolidBrush(RGB(0xD8, 0xF0, 0xD8)));
    const UniqueBrush barBrush(CreateSolidBrush(RGB(0x4A, 0x78, 0xB0)));
    const UniquePen markPen(CreatePen(PS_DOT, 1, RGB(0xC0, 0x30, 0x30)));
    const UniquePen axisPen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    const UniquePen barPen(CreatePen(PS_SOLID, 1, RGB(0xFF, 0xFF, 0xFF)));
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    auto text = [&](const std::string& s, int x, int y, UINT align) {
      const std::wstring wide = ToWide(common::Utf8ToUtf16(s));
      SetTextAlign(dc.get(), align);
      TextOutW(dc.get(), x, y, wide.c_str(), static_cast<int>(wide.size()));
    };
    const Histogram histogram = HistogramOf(*report_, shown_);
    for (const Shape& s : LayOutHistogram(histogram, w, h, lineHeight_)) {
      switch (s.kind) {
        case Shape::Kind::Window: {
          RECT r{px(s.x0), px(s.y0), px(s.x1), px(s.y1)};
          FillRect(dc.get(), &r, windowBrush.get());
          break;
        }
        case Shape::Kind::Bar: {
          if (s.count == 0) break;
          common::ScopedSelect pen(dc.get(), barPen.get());
          common::ScopedSelect brush(dc.get(), barBrush.get());
          Rectangle(dc.get(), px(s.x0), px(s.y0), px(s.x1) + 1, px(s.y1) + 1);
          break;
        }
        case Shape::Kind::Axis: {
          common::ScopedSelect pen(dc.get(), axisPen.get());
          MoveToEx(dc.get(), px(s.x0), px(s.y0), nullptr);
          LineTo(dc.get(), px(s.x1), px(s.y1));
          break;
        }
        case Shape::Kind::Tick: {
          common::ScopedSelect pen(dc.get(), axisPen.get());
          MoveToEx(dc.get(), px(s.x0), px(s.y0), nullptr);
          LineTo(dc.get(), px(s.x1), px(s.y1));
          text(s.text, px(s.x1), px(s.y1), TA_CENTER | TA_TOP);
          break;
        }
        case Shape::Kind::Mark: {
          common::ScopedSelect pen(dc.get(), markPen.get());
          MoveToEx(dc.get(), px(s.x0), px(s.y0), nullptr);
          LineTo(dc.get(), px(s.x1), px(s.y1));
          SetTextColor(dc.get(), RGB(0xC0, 0x30, 0x30));
          text(s.text, px(s.x0), px(s.y0), TA_CENTER | TA_BOTTOM);
          SetTextColor(dc.get(), GetSysColor(COLOR_WINDOWTEXT));
          break;
        }
        case Shape::Kind::Text: text(s.text, px(s.x0), px(s.y0), TA_LEFT | TA_TOP); break;
      }
    }
  }
  BitBlt(target, area.left, area.top, w, h, dc.get(), 0, 0, SRCCOPY);
}

}  // namespace velmora::explore
