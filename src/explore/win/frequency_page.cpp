#include "explore/win/frequency_page.h"

#include <algorithm>
#include <string>

#include "common/fp_error.h"
#include "common/table.h"
#include "common/utf.h"
#include "common/win/clipboard.h"
#include "common/win/win_text.h"
#include "explore/explorer.h"
#include "explore/win/bode_painter.h"
#include "explore/win/explorer_resource.h"
#include "main/texts.h"
#include "response/response_tables.h"

namespace velmora::explore {

namespace {

namespace texts = main::texts;
using common::ToWide;
using response::FrequencyField;
using Kind = PageControl::Kind;

constexpr int kPlotTop = 112;  // below the tab strip

// clang-format off
constexpr std::array kControls = {
  //          id                     kind          left  top   w    h   caption
  PageControl{IDC_EX_OPAMP_LABEL,    Kind::Label,     8,  10,  72, 16, texts::ExplorerOpAmpLabel},
  PageControl{IDC_EX_OPAMP,          Kind::Combo,    82,   8,  96, 240, {}},
  PageControl{IDC_EX_A0_LABEL,       Kind::Label,   182,  10,  40, 16, texts::ExplorerA0Label},
  PageControl{IDC_EX_A0,             Kind::Edit,    224,   8,  58, 21, {}},
  PageControl{IDC_EX_GBW_LABEL,      Kind::Label,   286,  10,  34, 16, texts::ExplorerGbwLabel},
  PageControl{IDC_EX_GBW,            Kind::Edit,    322,   8,  58, 21, {}},
  PageControl{IDC_EX_F2_LABEL,       Kind::Label,   384,  10,  22, 16, texts::ExplorerF2Label},
  PageControl{IDC_EX_F2,             Kind::Edit,    408,   8,  58, 21, {}},
  PageControl{IDC_EX_RO_LABEL,       Kind::Label,   470,  10,  22, 16, texts::ExplorerRoLabel},
  PageControl{IDC_EX_RO,             Kind::Edit,    494,   8,  58, 21, {}},
  PageControl{IDC_EX_CLOAD_LABEL,    Kind::Label,   556,  10,  22, 16, texts::ExplorerCloadLabel},
  PageControl{IDC_EX_CLOAD,          Kind::Edit,    580,   8,  58, 21, {}},
  PageControl{IDC_EX_EN_LABEL,       Kind::Label,     8,  38,  72, 16, texts::ExplorerEnLabel},
  PageControl{IDC_EX_EN,             Kind::Edit,     82,  36,  58, 21, {}},
  PageControl{IDC_EX_IN_LABEL,       Kind::Label,   144,  38,  58, 16, texts::ExplorerInLabel},
  PageControl{IDC_EX_IN,             Kind::Edit,    204,  36,  58, 21, {}},
  PageControl{IDC_EX_VMAX_LABEL,     Kind::Label,   266,  38,  38, 16, texts::ExplorerVmaxLabel},
  PageControl{IDC_EX_VMAX,           Kind::Edit,    306,  36,  58, 21, {}},
  PageControl{IDC_EX_IMAX_LABEL,     Kind::Label,   368,  38,  38, 16, texts::ExplorerImaxLabel},
  PageControl{IDC_EX_IMAX,           Kind::Edit,    408,  36,  58, 21, {}},
  PageControl{IDC_EX_TEMP_LABEL,     Kind::Label,   470,  38,  58, 16, texts::ExplorerTempLabel},
  PageControl{IDC_EX_TEMP,           Kind::Edit,    530,  36,  46, 21, {}},
  PageControl{IDC_EX_FREQ_CALC,      Kind::Button,  584,  34,  52, 25, texts::ExplorerCalc},
  PageControl{IDC_EX_COPY_FREQ,      Kind::Button,  640,  34,  52, 25, texts::ExplorerCopy},
  PageControl{IDC_EX_FREQ_STATUS,    Kind::Status,    8,  68,   0, 16, {}},
  PageControl{IDC_EX_LATCHES,        Kind::Status,    8,  90,   0, 16, {}},
  PageControl{IDC_EX_FREQ_FIGURES,   Kind::Memo,      8,   0,   0,  0, {}},
};
// clang-format on

// Each box: what it holds and the message for a value it cannot take.
struct Box {
  int id;
  FrequencyField field;
  std::u16string_view bad;
};
constexpr std::array<Box, 10> kBoxes = {{
    {IDC_EX_A0, FrequencyField::A0, texts::ExplorerBadA0},
    {IDC_EX_GBW, FrequencyField::Gbw, texts::ExplorerBadGbw},
    {IDC_EX_F2, FrequencyField::F2, texts::ExplorerBadF2},
    {IDC_EX_RO, FrequencyField::Ro, texts::ExplorerBadRo},
    {IDC_EX_EN, FrequencyField::En, texts::ExplorerBadEn},
    {IDC_EX_IN, FrequencyField::In, texts::ExplorerBadIn},
    {IDC_EX_VMAX, FrequencyField::Vmax, texts::ExplorerBadVmax},
    {IDC_EX_IMAX, FrequencyField::Imax, texts::ExplorerBadImax},
    {IDC_EX_CLOAD, FrequencyField::Cload, texts::ExplorerBadCload},
    {IDC_EX_TEMP, FrequencyField::Temp, texts::ExplorerBadTemp},
}};

// The box of `id`, or null.
const Box* BoxOf(int id) {
  const auto* it = std::find_if(kBoxes.begin(), kBoxes.end(), [id](const Box& b) { return b.id == id; });
  return it == kBoxes.end() ? nullptr : it;
}

bool IsOpAmpBox(const Box& box) { return static_cast<std::size_t>(box.field) < response::kOpAmpFields; }

}  // namespace

void FrequencyPage::Create(const PageHost& host, int top) {
  host_ = host;
  CreatePageControls(host, kControls, top);
  HWND list = Item(IDC_EX_OPAMP);
  for (const response::Preset& p : response::Presets()) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(common::Utf8ToUtf16(p.name)).c_str()));
  }
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(texts::ExplorerOpAmpCustom).c_str()));
  SendMessageW(list, CB_SETCURSEL, 0, 0);
  const response::FrequencySettings defaults;
  SetControlText(host_.window, IDC_EX_CLOAD, response::FieldText(defaults.cload));
  SetControlText(host_.window, IDC_EX_TEMP, response::FieldText(defaults.tempC));
  ChoosePreset();
  EnableWindow(Item(IDC_EX_COPY_FREQ), FALSE);
}

void FrequencyPage::Show(bool shown) {
  shown_ = shown;
  ShowPageControls(host_.window, kControls, shown);
}

void FrequencyPage::Layout(const RECT& area) {
  const int left = area.left, top = area.top, width = area.right - area.left, height = area.bottom - area.top;
  for (int id : {IDC_EX_FREQ_STATUS, IDC_EX_LATCHES}) {
    const PageControl& c = *std::find_if(kControls.begin(), kControls.end(), [id](const PageControl& p) {
      return p.id == id;
    });
    MoveWindow(Item(id), left + 8, top + c.top, std::max(width - 16, 10), host_.lineHeight, TRUE);
  }
  // The two plots side by side over the upper three fifths of the rest, the
  // figures under them.
  const int restTop = top + kPlotTop, rest = std::max(height - kPlotTop - 8, 60);
  const int plotHeight = rest * 3 / 5, plotWidth = std::max((width - 24) / 2, 10);
  plotArea_[0] = {left + 8, restTop, left + 8 + plotWidth, restTop + plotHeight};
  plotArea_[1] = {left + 16 + plotWidth, restTop, left + 16 + 2 * plotWidth, restTop + plotHeight};
  MoveWindow(Item(IDC_EX_FREQ_FIGURES), left + 8, restTop + plotHeight + 6, std::max(width - 16, 10),
             std::max(rest - plotHeight - 6, 10), TRUE);
}

HWND FrequencyPage::FirstControl() const { return Item(IDC_EX_OPAMP); }

void FrequencyPage::Follow(const std::optional<DesignInputs>& design) {
  design_ = design;
  Compute(true);
}

// The op-amp boxes take the chosen preset's values ("custom" keeps them).
void FrequencyPage::ChoosePreset() {
  const LRESULT chosen = SendMessageW(Item(IDC_EX_OPAMP), CB_GETCURSEL, 0, 0);
  const std::span<const response::Preset> presets = response::Presets();
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= presets.size()) return;
  const std::optional<response::OpAmp> op = response::FindPreset(presets[static_cast<std::size_t>(chosen)].name);
  if (!op) return;
  const response::FrequencySettings settings;
  for (const Box& box : kBoxes) {
    if (IsOpAmpBox(box))
      SetControlText(host_.window, box.id, response::FieldText(response::FieldValue(box.field, *op, settings)));
  }
}

bool FrequencyPage::OnCommand(int id, int code) {
  switch (id) {
    case IDC_EX_OPAMP:
      if (code == CBN_SELCHANGE) {
        ChoosePreset();
        Compute(true);
      }
      return true;
    case IDC_EX_FREQ_CALC: Compute(false); return true;
    case IDC_EX_COPY_FREQ: CopyFigures(); return true;
    default: break;
  }
  const Box* box = BoxOf(id);
  if (box == nullptr) return false;
  if (code == EN_CHANGE && !SettingText()) {
    // A value of its own: the op-amp is no longer the preset.
    if (IsOpAmpBox(*box)) {
      const auto custom = static_cast<WPARAM>(response::Presets().size());
      SendMessageW(Item(IDC_EX_OPAMP), CB_SETCURSEL, custom, 0);
    }
    Compute(true);
  }
  return true;
}

void FrequencyPage::OnEnter(HWND) { Compute(false); }

void FrequencyPage::Compute(bool quiet) {
  response::OpAmp op;
  response::FrequencySettings settings;
  for (const Box& box : kBoxes) {
    const std::optional<double> value =
        response::ReadFrequencyField(box.field, common::WindowText(Item(box.id)));
    if (value) {
      response::SetField(box.field, *value, op, settings);
      continue;
    }
    // Nothing stays on show from values that are no longer the boxes'.
    Clear(texts::ExplorerNotComputed);
    if (quiet) return;
    RefuseBox(host_.window, box.id, box.bad);
    return;
  }
  const auto chosen = static_cast<std::size_t>(SendMessageW(Item(IDC_EX_OPAMP), CB_GETCURSEL, 0, 0));
  const std::span<const response::Preset> presets = response::Presets();
  op.name = chosen < presets.size() ? presets[chosen].name : common::Utf16ToUtf8(texts::ExplorerOpAmpCustom);

  const SeriesRow design = design_ ? RunSeries(*design_) : SeriesRow{};
  if (!design_ || !design.result.succeeded()) {
    Clear(texts::ExplorerNoDesign);
    return;
  }
  if (response::NonPositiveResistor(design.state)) {
    Clear(texts::ExplorerNeedsResistors);
    return;
  }
  try {
    report_ = response::AnalyseFrequency(design.state, op, settings);
  } catch (const common::FloatingPointError& e) {
    Clear(common::Utf8ToUtf16(e.what()));
    return;
  }
  state_ = design.state;
  ShowReport();
}

void FrequencyPage::Clear(std::u16string_view status) {
  report_.reset();
  SetControlText(host_.window, IDC_EX_FREQ_FIGURES, u"");
  SetControlText(host_.window, IDC_EX_FREQ_STATUS, status);
  SetControlText(host_.window, IDC_EX_LATCHES, u"");
  EnableWindow(Item(IDC_EX_COPY_FREQ), FALSE);
  for (const RECT& r : plotArea_) InvalidateRect(host_.window, &r, FALSE);
}

void FrequencyPage::ShowReport() {
  const response::FrequencyReport& r = *report_;
  SetControlText(host_.window, IDC_EX_FREQ_FIGURES,
          common::Utf8ToUtf16(common::RenderTables(response::HeadlineTables(r), common::TableFormat::Text, "\r\n")));
  SetControlText(host_.window, IDC_EX_FREQ_STATUS,
          common::FillIn(texts::ExplorerSweep,
                         {common::Utf8ToUtf16(r.opamp.name), response::FieldText(r.settings.fmin),
                          response::FieldText(r.settings.fmax), common::Utf8ToUtf16(std::to_string(r.points.size()))}));
  std::u16string latching;
  for (const response::Stability& s : r.stability) {
    if (!s.latches) continue;
    if (!latching.empty()) latching += u", ";
    latching += common::Utf8ToUtf16(response::LoadCaseName(s.load));
  }
  SetControlText(host_.window, IDC_EX_LATCHES,
                 latching.empty() ? u"" : common::FillIn(texts::ExplorerLatches, {latching}));
  EnableWindow(Item(IDC_EX_COPY_FREQ), TRUE);
  for (const RECT& area : plotArea_) InvalidateRect(host_.window, &area, FALSE);
}

void FrequencyPage::CopyFigures() {
  if (!report_) return;
  common::CopyTextToClipboard(
      host_.window, common::Utf8ToUtf16(common::RenderTables(response::FrequencyTables(state_, *report_),
                                                             common::TableFormat::Tabs, "\r\n")));
}

void FrequencyPage::OnPaint(HDC dc) {
  if (!shown_) return;
  const response::FrequencyReport* report = report_ ? &*report_ : nullptr;
  DrawBode(dc, plotArea_[0], report, response::BodePanel::Zo, host_.font, host_.lineHeight);
  DrawBode(dc, plotArea_[1], report, response::BodePanel::Gain, host_.font, host_.lineHeight);
}

HBRUSH FrequencyPage::OnColorStatic(HDC dc, HWND control) {
  if (control != Item(IDC_EX_LATCHES)) return nullptr;
  SetTextColor(dc, RGB(0xC0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

}  // namespace velmora::explore
