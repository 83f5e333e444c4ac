#include "explore/win/tolerance_page.h"

#include <algorithm>
#include <array>
#include <variant>
#include <string>

#include "common/numtext.h"
#include "common/utf.h"
#include "common/win/clipboard.h"
#include "common/win/message_dialog.h"
#include "common/win/win_text.h"
#include "explore/explorer_tables.h"
#include "explore/tolerance_settings.h"
#include "explore/win/explorer_resource.h"
#include "explore/win/histogram_painter.h"
#include "main/texts.h"

namespace velmora::explore {

namespace {

namespace texts = main::texts;
using common::ToWide;
using Kind = PageControl::Kind;

constexpr std::uint64_t kThreadedProgress = 100000;  // larger runs show their progress
constexpr int kHistogramTop = 112;  // below the tab strip

// clang-format off
constexpr std::size_t kProgressRow = 17;  // of the progress bar in kControls
constexpr std::array kControls = {
  //          id                        kind            left  top   w    h   caption
  PageControl{IDC_EX_TOL_LABEL,         Kind::Label,       8,  10, 70,  16, texts::ExplorerTolLabel},
  PageControl{IDC_EX_TOL,               Kind::Edit,       80,   8, 50,  21, {}},
  PageControl{IDC_EX_DIST_LABEL,        Kind::Label,     140,  10, 36,  16, texts::ExplorerDistLabel},
  PageControl{IDC_EX_DIST,              Kind::Combo,     178,   8, 70, 200, {}},
  PageControl{IDC_EX_SAMPLES_LABEL,     Kind::Label,     256,  10, 72,  16, texts::ExplorerSamplesLabel},
  PageControl{IDC_EX_SAMPLES,           Kind::Edit,      330,   8, 80,  21, {}},
  PageControl{IDC_EX_SEED_LABEL,        Kind::Label,     418,  10, 48,  16, texts::ExplorerSeedLabel},
  PageControl{IDC_EX_SEED,              Kind::Edit,      468,   8, 150, 21, {}},
  PageControl{IDC_EX_ACCEPT_ZO_LABEL,   Kind::Label,       8,  38, 80,  16, texts::ExplorerAcceptZoLabel},
  PageControl{IDC_EX_ACCEPT_ZO,         Kind::Edit,       90,  36, 50,  21, {}},
  PageControl{IDC_EX_ACCEPT_GAIN_LABEL, Kind::Label,     148,  38, 96,  16, texts::ExplorerAcceptGainLabel},
  PageControl{IDC_EX_ACCEPT_GAIN,       Kind::Edit,      246,  36, 50,  21, {}},
  PageControl{IDC_EX_CALC,              Kind::Button,    310,  34, 60,  25, texts::ExplorerCalc},
  PageControl{IDC_EX_CANCEL,            Kind::Button,    376,  34, 60,  25, texts::ExplorerCancel},
  PageControl{IDC_EX_COPY_TOL,          Kind::Button,    442,  34, 70,  25, texts::ExplorerCopyTol},
  PageControl{IDC_EX_SHOW_ZO,           Kind::Radio,     530,  38, 50,  17, texts::ExplorerShowZo, true},
  PageControl{IDC_EX_SHOW_GAIN,         Kind::Radio,     584,  38, 60,  17, texts::ExplorerShowGain},
  PageControl{IDC_EX_PROGRESS,          Kind::Progress,    8,  67, 160, 16, {}},
  PageControl{IDC_EX_YIELD,             Kind::Status,      8,  68,  0,  16, {}},
  PageControl{IDC_EX_UNSTABLE,          Kind::Status,      8,  90,  0,  16, {}},
  PageControl{IDC_EX_FIGURES,           Kind::Memo,        8,   0,  0,   0, {}},
};
// clang-format on
static_assert(kControls[kProgressRow].id == IDC_EX_PROGRESS);

// The settings as the boxes give them, or the first box that cannot be
// read and why.
std::variant<ToleranceSettings, BadToleranceBox> ReadSettings(HWND window) {
  const auto text = [window](int id) { return common::WindowText(GetDlgItem(window, id)); };
  const std::u16string pct = text(IDC_EX_TOL), samples = text(IDC_EX_SAMPLES), seed = text(IDC_EX_SEED);
  const std::u16string acceptZo = text(IDC_EX_ACCEPT_ZO), acceptGain = text(IDC_EX_ACCEPT_GAIN);
  const LRESULT dist = SendMessageW(GetDlgItem(window, IDC_EX_DIST), CB_GETCURSEL, 0, 0);
  return ReadToleranceBoxes(
      {pct, samples, seed, acceptZo, acceptGain, dist == 1 ? Distribution::Normal : Distribution::Uniform});
}

// The box of a setting.
int BoxOf(ToleranceField field) {
  switch (field) {
    case ToleranceField::Pct: return IDC_EX_TOL;
    case ToleranceField::Samples: return IDC_EX_SAMPLES;
    case ToleranceField::Seed: return IDC_EX_SEED;
    case ToleranceField::AcceptZo: return IDC_EX_ACCEPT_ZO;
    case ToleranceField::AcceptGain: return IDC_EX_ACCEPT_GAIN;
  }
  return IDC_EX_TOL;
}

std::u16string Percent(double fraction) { return common::FixedDecimal(100.0 * fraction, 2); }
std::u16string Count(std::uint64_t n) { return common::Utf8ToUtf16(std::to_string(n)); }

}  // namespace

TolerancePage::~TolerancePage() { Cancel(); }

void TolerancePage::Create(const PageHost& host, int top) {
  host_ = host;
  CreatePageControls(host, kControls, top);
  HWND dist = Item(IDC_EX_DIST);
  const std::u16string_view names = texts::ExplorerDistributions;
  const std::size_t bar = names.find(u'|');
  for (const std::u16string_view name : {names.substr(0, bar), names.substr(bar + 1)}) {
    SendMessageW(dist, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(name).c_str()));
  }
  SendMessageW(dist, CB_SETCURSEL, 0, 0);
  const ToleranceSettings defaults;
  SetControlText(host_.window, IDC_EX_SAMPLES, Count(defaults.samples));
  SetControlText(host_.window, IDC_EX_SEED, Count(defaults.seed));
  SetControlText(host_.window, IDC_EX_ACCEPT_ZO, common::Utf8ToUtf16(ShortestText(defaults.acceptZoPct)));
  SetControlText(host_.window, IDC_EX_ACCEPT_GAIN, common::Utf8ToUtf16(ShortestText(defaults.acceptGainDb)));
  SetControlText(host_.window, IDC_EX_TOL, common::Utf8ToUtf16(ShortestText(CustomaryTolerancePct(24))));
  CheckRadioButton(host_.window, IDC_EX_SHOW_ZO, IDC_EX_SHOW_GAIN, IDC_EX_SHOW_ZO);
  EnableWindow(Item(IDC_EX_CANCEL), FALSE);
  EnableWindow(Item(IDC_EX_COPY_TOL), FALSE);
}

void TolerancePage::Show(bool shown) {
  shown_ = shown;
  ShowPageControls(host_.window, kControls, shown);
  // The progress bar only while a long run counts.
  if (shown && !progressShown_) ShowWindow(Item(IDC_EX_PROGRESS), SW_HIDE);
}

void TolerancePage::Layout(const RECT& area) {
  area_ = area;
  const int left = area.left, top = area.top, width = area.right - area.left;
  const int height = area.bottom - area.top;
  PlaceYield();
  MoveWindow(Item(IDC_EX_UNSTABLE), left + 8, top + 90, std::max(width - 16, 10), host_.lineHeight, TRUE);
  // The histogram takes the upper part of the rest, the figures the lower.
  const int restTop = top + kHistogramTop, rest = std::max(height - kHistogramTop - 8, 40);
  const int histogramHeight = rest * 11 / 20;
  histogramArea_ = {left + 8, restTop, left + std::max(width - 8, 18), restTop + histogramHeight};
  MoveWindow(Item(IDC_EX_FIGURES), left + 8, restTop + histogramHeight + 6, std::max(width - 16, 10),
             std::max(rest - histogramHeight - 6, 10), TRUE);
}

// The yield line takes its row, but for the progress bar while a long run
// counts (its text is then the short "running").
void TolerancePage::PlaceYield() {
  const PageControl& progress = kControls[kProgressRow];
  const int left = area_.left + (progressShown_ ? progress.left + progress.width + 8 : 8);
  MoveWindow(Item(IDC_EX_YIELD), left, area_.top + 68, std::max(static_cast<int>(area_.right) - 8 - left, 10),
             host_.lineHeight, TRUE);
}

void TolerancePage::ShowProgress(bool shown) {
  progressShown_ = shown;
  ShowWindow(Item(IDC_EX_PROGRESS), shown && shown_ ? SW_SHOW : SW_HIDE);
  PlaceYield();
}

HWND TolerancePage::FirstControl() const { return Item(IDC_EX_TOL); }

void TolerancePage::Follow(const std::optional<DesignInputs>& design) {
  design_ = design;
  if (!design_) return;
  if (!toleranceEdited_)
    SetControlText(host_.window, IDC_EX_TOL, common::Utf8ToUtf16(ShortestText(CustomaryTolerancePct(design_->ER))));
  StartAnalysis(true);
}

bool TolerancePage::OnCommand(int id, int code) {
  switch (id) {
    case IDC_EX_COPY_TOL: CopyFigures(); return true;
    case IDC_EX_CALC: StartAnalysis(false); return true;
    case IDC_EX_CANCEL:
      CancelAnalysis();
      ClearAnalysis(texts::ExplorerCancelled);
      return true;
    case IDC_EX_SHOW_ZO:
    case IDC_EX_SHOW_GAIN:
      figure_ = id == IDC_EX_SHOW_ZO ? Figure::Zo : Figure::GainDb;
      InvalidateRect(host_.window, &histogramArea_, FALSE);
      return true;
    case IDC_EX_TOL:
      if (code == EN_CHANGE && !SettingText()) toleranceEdited_ = true;
      return true;
    default: return false;
  }
}

void TolerancePage::OnEnter(HWND) { StartAnalysis(false); }

bool TolerancePage::OnEscape() {
  if (!job_) return false;
  CancelAnalysis();
  ClearAnalysis(texts::ExplorerCancelled);
  return true;
}

void TolerancePage::StartAnalysis(bool quiet) {
  CancelAnalysis();  // a new Calculate replaces a running one
  const std::variant<ToleranceSettings, BadToleranceBox> read = ReadSettings(host_.window);
  if (const auto* bad = std::get_if<BadToleranceBox>(&read)) {
    // Nothing stays on show from settings that are no longer the box's.
    ClearAnalysis({});
    if (quiet) return;
    RefuseBox(host_.window, BoxOf(bad->box), bad->message);
    return;
  }
  const ToleranceSettings& settings = std::get<ToleranceSettings>(read);
  const SeriesRow design = design_ ? RunSeries(*design_) : SeriesRow{};
  if (!design_ || !design.result.succeeded()) {
    ClearAnalysis(texts::ExplorerNoDesign);
    return;
  }
  ClearAnalysis(texts::ExplorerRunning);
  job_ = std::make_unique<ToleranceJob>(host_.window, kJobDoneMessage, ++generation_, design.state, settings);
  EnableWindow(Item(IDC_EX_CANCEL), TRUE);
  const bool large = settings.samples > kThreadedProgress;
  HWND progress = Item(IDC_EX_PROGRESS);
  SendMessageW(progress, PBM_SETRANGE32, 0, 1000);
  SendMessageW(progress, PBM_SETPOS, 0, 0);
  ShowProgress(large);
  if (large) SetTimer(host_.window, kProgressTimer, 100, nullptr);
}

// Greys Cancel; the focus, if it was there, moves on to Calculate rather
// than to nowhere.
void TolerancePage::DisableCancel() {
  if (GetFocus() == Item(IDC_EX_CANCEL)) SetFocus(Item(IDC_EX_CALC));
  EnableWindow(Item(IDC_EX_CANCEL), FALSE);
}

void TolerancePage::CancelAnalysis() {
  if (!job_) return;
  job_.reset();
  KillTimer(host_.window, kProgressTimer);
  ShowProgress(false);
  DisableCancel();
}

void TolerancePage::Cancel() {
  job_.reset();
}

void TolerancePage::OnTimer() {
  if (!job_) return;
  SendMessageW(Item(IDC_EX_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(job_->Progress() * 1000.0), 0);
}

void TolerancePage::OnJobDone(std::uint64_t generation) {
  if (!job_ || job_->generation() != generation) return;  // a cancelled run's late word
  ToleranceJob::Outcome outcome = job_->Finish();
  CancelAnalysis();
  if (!outcome.error.empty()) {
    ClearAnalysis(common::Utf8ToUtf16(outcome.error));
  } else if (!outcome.report) {
    ClearAnalysis(texts::ExplorerCancelled);
  } else {
    report_ = std::move(outcome.report);
    ShowAnalysis();
  }
}

void TolerancePage::ClearAnalysis(std::u16string_view status) {
  report_.reset();
  SetControlText(host_.window, IDC_EX_FIGURES, u"");
  SetControlText(host_.window, IDC_EX_YIELD, status);
  SetControlText(host_.window, IDC_EX_UNSTABLE, u"");
  EnableWindow(Item(IDC_EX_COPY_TOL), FALSE);
  InvalidateRect(host_.window, &histogramArea_, FALSE);
}

void TolerancePage::ShowAnalysis() {
  const ToleranceReport& r = *report_;
  SetControlText(host_.window, IDC_EX_FIGURES,
                 common::Utf8ToUtf16(RenderTables(ToleranceTables(r), TableFormat::Text, "\r\n")));
  const Proportion y = YieldOf(r.monteCarlo);
  SetControlText(host_.window, IDC_EX_YIELD,
                 common::FillIn(texts::ExplorerYield, {Percent(y.share), Percent(y.low), Percent(y.high),
                                                       Count(r.monteCarlo.counts.accepted),
                                                       Count(r.monteCarlo.samples)}));
  std::u16string unstable;
  if (r.unstable()) {
    unstable = common::FillIn(texts::ExplorerUnstable, {Count(r.monteCarlo.bad), Count(r.monteCarlo.samples),
                                                        Count(static_cast<std::uint64_t>(r.worst.badCorners)),
                                                        Count(static_cast<std::uint64_t>(kCorners))});
  }
  SetControlText(host_.window, IDC_EX_UNSTABLE, unstable);
  EnableWindow(Item(IDC_EX_COPY_TOL), TRUE);
  InvalidateRect(host_.window, &histogramArea_, FALSE);
}

void TolerancePage::CopyFigures() {
  if (!report_) return;
  std::vector<Table> tables = ToleranceTables(*report_);
  tables.push_back(HistogramTable(HistogramOf(*report_, Figure::Zo), "histogram_zo"));
  tables.push_back(HistogramTable(HistogramOf(*report_, Figure::GainDb), "histogram_gain_db"));
  common::CopyTextToClipboard(host_.window, common::Utf8ToUtf16(RenderTables(tables, TableFormat::Tabs, "\r\n")));
}

void TolerancePage::OnPaint(HDC dc) {
  if (!shown_) return;
  if (report_) {
    const Histogram histogram = HistogramOf(*report_, figure_);
    DrawHistogram(dc, histogramArea_, &histogram, host_.font, host_.lineHeight);
  } else {
    DrawHistogram(dc, histogramArea_, nullptr, host_.font, host_.lineHeight);
  }
}

HBRUSH TolerancePage::OnColorStatic(HDC dc, HWND control) {
  if (control != Item(IDC_EX_UNSTABLE)) return nullptr;
  // The unstable line is loud: red on the window's face.
  SetTextColor(dc, RGB(0xC0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

}  // namespace velmora::explore
