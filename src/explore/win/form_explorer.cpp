#include "explore/win/form_explorer.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "common/win/font_query.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "explore/win/explorer_resource.h"
#include "main/texts.h"

namespace velmora::explore {

namespace {

namespace texts = main::texts;
using common::ToWide;

constexpr UINT kFollowMessage = WM_APP + 1;  // the design was calculated
static_assert(kFollowMessage != TolerancePage::kJobDoneMessage);
constexpr int kClientWidth = 820;
constexpr int kClientHeight = 640;
constexpr int kTabHeight = 26;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
using Page = TFormExplorer::Page;
constexpr Page kPages[] = {Page::Series, Page::Tolerance, Page::Frequency};  // in the tab strip's order

}  // namespace

TFormExplorer::TFormExplorer()
    : series_([this](std::int32_t er) {
        if (links_.chooseSeries) links_.chooseSeries(er);
      }) {}

TFormExplorer::~TFormExplorer() {
  tolerance_.Cancel();
  DestroyWindowObject();
}

void TFormExplorer::Open(HINSTANCE instance, HWND owner, const Links& links, Page page) {
  if (hwnd_ == nullptr) {
    links_ = links;
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
  focus_ = PageOf(page).FirstControl();
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
      RECT r{0, 0, kMinClient.cx, kMinClient.cy};
      AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
      return 0;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
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
      if (HBRUSH brush = PageOf(page_).OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
        return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_TIMER:
      if (wParam == TolerancePage::kProgressTimer) tolerance_.OnTimer();
      return 0;
    case kFollowMessage:
      Refresh();
      return 0;
    case TolerancePage::kJobDoneMessage:
      tolerance_.OnJobDone(static_cast<std::uint64_t>(wParam));
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);  // kept, with its size, place and pages, for the next opening
      return 0;
    case WM_DESTROY:
      tolerance_.Cancel();
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TFormExplorer::OnCreate() {
  PageHost host{hwnd_, reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), font_, nullptr, 16};
  {
    common::WindowDC dc(hwnd_);
    common::ScopedSelect select(dc.get(), font_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    host.lineHeight = std::max<int>(tm.tmHeight + 2, 12);
    LOGFONTW lf{};
    if (font_ != nullptr && GetObjectW(font_, sizeof lf, &lf) == sizeof lf) {
      lf.lfWeight = FW_BOLD;
      boldFont_.reset(CreateFontIndirectW(&lf));
    }
  }
  host.boldFont = boldFont_.get();
  const HMENU tabId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EX_TAB));
  HWND tab = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0,
                             kClientWidth, kTabHeight, hwnd_, tabId, host.instance, nullptr);
  SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  const std::u16string_view tabs[] = {texts::ExplorerTabSeries, texts::ExplorerTabTolerance,
                                       texts::ExplorerTabFrequency};
  static_assert(std::size(tabs) == std::size(kPages));
  for (int i = 0; i < static_cast<int>(std::size(tabs)); ++i) {
    std::wstring caption = ToWide(tabs[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  series_.Create(host, kTabHeight);
  tolerance_.Create(host, kTabHeight);
  frequency_.Create(host, kTabHeight);
  ShowPage(Page::Series);
}

void TFormExplorer::OnSize(int width, int height) {
  MoveWindow(GetDlgItem(hwnd_, IDC_EX_TAB), 0, 0, width, kTabHeight, TRUE);
  const RECT area{0, kTabHeight, width, height};
  series_.Layout(area);
  tolerance_.Layout(area);
  frequency_.Layout(area);
  // Everything may have moved: redraw it all, the controls included.
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TFormExplorer::OnActivate(bool active) {
  // As a dialog does: the focused control is kept while another window is
  // active and gets the focus back (the default would give it to this
  // window itself, where no key does anything).
  if (!active) {
    if (HWND f = GetFocus(); f != nullptr && IsChild(hwnd_, f)) focus_ = f;
  } else if (focus_ != nullptr && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
    SetFocus(focus_);
  } else {
    SetFocus(PageOf(page_).FirstControl());
  }
}

ExplorerPage& TFormExplorer::PageOf(Page page) {
  switch (page) {
    case Page::Series: return series_;
    case Page::Tolerance: return tolerance_;
    case Page::Frequency: break;
  }
  return frequency_;
}

void TFormExplorer::ShowPage(Page page) {
  page_ = page;
  const auto tab = std::find(std::begin(kPages), std::end(kPages), page) - std::begin(kPages);
  SendMessageW(GetDlgItem(hwnd_, IDC_EX_TAB), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
  for (Page p : kPages) {
    if (p != page) PageOf(p).Show(false);
  }
  PageOf(page).Show(true);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFormExplorer::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:  // Enter, from the dialog manager
      PageOf(page_).OnEnter(GetFocus());
      break;
    case IDCANCEL:  // Esc: stops a run, or else closes the window
      if (!PageOf(page_).OnEscape()) ShowWindow(hwnd_, SW_HIDE);
      break;
    default:
      if (!series_.OnCommand(id, code) && !tolerance_.OnCommand(id, code)) frequency_.OnCommand(id, code);
      break;
  }
}

LRESULT TFormExplorer::OnNotify(const NMHDR& header) {
  if (header.idFrom == IDC_EX_TAB && header.code == TCN_SELCHANGE) {
    const LRESULT tab = SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0);
    if (tab >= 0 && tab < static_cast<LRESULT>(std::size(kPages))) ShowPage(kPages[tab]);
    return 0;
  }
  return PageOf(page_).OnNotify(header);
}

void TFormExplorer::Refresh() {
  // A hidden window computes nothing: it catches up when it is shown again.
  stale_ = !IsWindowVisible(hwnd_);
  if (stale_) return;
  const std::optional<DesignInputs> design = links_.current ? links_.current() : std::nullopt;
  series_.Follow(design);
  tolerance_.Follow(design);
  frequency_.Follow(design);
}

void TFormExplorer::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  PageOf(page_).OnPaint(dc);
  EndPaint(hwnd_, &ps);
}

}  // namespace velmora::explore
