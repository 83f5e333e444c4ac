// The explorer's frequency page in the running window: its curves lie on the
// screen where the command line's SVG puts them, scaled from the SVG's plot
// frame to the one found on the screen; preset and custom values change the
// op-amp's name as the command line's options do. Driven in-process, where
// the window's pixels and controls can be read.
#include "explore/win/form_explorer.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "explore/explorer.h"
#include "explore/win/bode_painter.h"
#include "explore/win/explorer_resource.h"
#include "explore/win/window_testing.h"
#include "main/win/form_main.h"
#include "response/analysis.h"
#include "response/bode_picture.h"

namespace velmora::explore {
namespace {

using Clock = std::chrono::steady_clock;

using testing::PumpUntil;
using testing::TextOf;

void Pump() {
  PumpUntil([start = Clock::now()] { return Clock::now() - start > std::chrono::milliseconds(200); });
}

// A plot frame: its left and right ends, its top and bottom.
struct Frame {
  double left = 0, right = 0, top = 0, bottom = 0;
};

struct SvgCurve {
  Frame frame;
  std::vector<std::pair<double, double>> points;
};

// The curve `name` of the SVG's group `group`, with the group's axes.
SvgCurve CurveOfSvg(const std::string& svg, const std::string& group, const std::string& name) {
  SvgCurve c;
  const std::size_t start = svg.find("<g id=\"" + group + "\"");
  const std::string g = svg.substr(start, svg.find("</g>", start) - start);
  const std::regex axis(R"re(class="axis" x1="([-.0-9e]+)" y1="([-.0-9e]+)" x2="([-.0-9e]+)" y2="([-.0-9e]+)")re");
  std::vector<std::array<double, 4>> axes;
  for (auto it = std::sregex_iterator(g.begin(), g.end(), axis); it != std::sregex_iterator(); ++it) {
    axes.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  }
  if (axes.size() != 2) return c;
  // The frequency axis along the bottom, then the value axis up the left.
  c.frame = {axes[0][0], axes[0][2], axes[1][1], axes[0][1]};
  const std::size_t at = g.find("data-name=\"" + name + "\" points=\"");
  if (at == std::string::npos) return c;
  const std::size_t begin = g.find("points=\"", at) + 8;
  const std::string list = g.substr(begin, g.find('"', begin) - begin);
  const std::regex point(R"(([-.0-9e]+),([-.0-9e]+))");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), point); it != std::sregex_iterator(); ++it) {
    c.points.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
  }
  return c;
}

// The screen's pixels of a window's client area.
class Screenshot {
 public:
  explicit Screenshot(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    width_ = r.right;
    height_ = r.bottom;
    HDC dc = GetDC(w);
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) pixels_[Index(x, y)] = GetPixel(dc, x, y);
    }
    ReleaseDC(w, dc);
  }
  COLORREF At(int x, int y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_ ? pixels_[Index(x, y)] : CLR_INVALID;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }
  int width_ = 0, height_ = 0;
  std::vector<COLORREF> pixels_;
};

// The plot frames on the screen from `top` to `bottom`, left to right: each value axis
// is the only long black vertical line of its plot, and its frequency axis
// the black line that runs right from its foot.
std::vector<Frame> FramesOnScreen(const Screenshot& s, int top, int bottom) {
  std::vector<Frame> frames;
  const auto black = [&s](int x, int y) { return s.At(x, y) == RGB(0, 0, 0); };
  for (int x = 0; x < s.width(); ++x) {
    // A segment of black, crossed here and there by a curve drawn over it.
    int start = top, blacks = 0;
    for (int y = top; y <= bottom; ++y) {
      if (y < bottom && (black(x, y) || s.At(x, y) == kCurveColour)) {
        blacks += black(x, y) ? 1 : 0;
        continue;
      }
      if (blacks >= 60) {
        // The segment goes on down the first tick under the frequency axis:
        // the axis is the row near its end with the longest black line.
        int foot = y - 1, right = x;
        for (int row = y - 1; row >= y - 12; --row) {
          int end = x;
          while (black(end + 1, row)) ++end;
          if (end > right) {
            right = end;
            foot = row;
          }
        }
        frames.push_back({static_cast<double>(x), static_cast<double>(right), static_cast<double>(start),
                          static_cast<double>(foot)});
      }
      start = y + 1;
      blacks = 0;
    }
  }
  return frames;
}

// The points of `curve` that have no pixel of the curve's colour within two
// pixels of where the SVG's frame, scaled onto `screen`, puts them.
std::vector<std::string> PointsOffTheCurve(const Screenshot& shot, const Frame& screen, const SvgCurve& curve) {
  std::vector<std::string> off;
  const Frame& f = curve.frame;
  for (const auto& [x, y] : curve.points) {
    const double u = (x - f.left) / (f.right - f.left), v = (f.bottom - y) / (f.bottom - f.top);
    const int px = static_cast<int>(std::lround(screen.left + u * (screen.right - screen.left)));
    const int py = static_cast<int>(std::lround(screen.bottom - v * (screen.bottom - screen.top)));
    bool found = false;
    for (int dy = -2; dy <= 2 && !found; ++dy) {
      for (int dx = -2; dx <= 2 && !found; ++dx) found = shot.At(px + dx, py + dy) == kCurveColour;
    }
    if (!found) {
      char colour[16];
      std::snprintf(colour, sizeof colour, "%06lX", static_cast<unsigned long>(shot.At(px, py)));
      off.push_back("(" + std::to_string(px) + ", " + std::to_string(py) + ") in " + colour);
    }
  }
  return off;
}

class FrequencyPageTest : public testing::ExplorerWindowTest {
 protected:
  void Open(const DesignInputs& design) {
    design_ = design;
    OpenOn(TFormExplorer::Page::Frequency, design);
    ASSERT_TRUE(PumpUntil([this] { return IsWindowEnabled(Item(IDC_EX_COPY_FREQ)) != FALSE; }))
        << "nothing computed: " << ::testing::PrintToString(TextOf(Item(IDC_EX_FREQ_STATUS)));
  }

  HWND Item(int id) const { return GetDlgItem(explorer_->Handle(), id); }

  void ChoosePreset(int index) {
    SendMessageW(Item(IDC_EX_OPAMP), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(explorer_->Handle(), WM_COMMAND, MAKEWPARAM(IDC_EX_OPAMP, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Item(IDC_EX_OPAMP)));
  }

  // The curves drawn on the screen against those of the SVG for `op`.
  void ExpectCurvesOfTheSvg(const response::OpAmp& op, const response::FrequencySettings& settings = {}) {
    const SeriesRow row = RunSeries(design_);
    const response::FrequencyReport report = response::AnalyseFrequency(row.state, op, settings);
    const std::string svg = response::BodeSvg(report);
    RedrawWindow(explorer_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    // The plots lie between the status lines and the figures.
    RECT above{}, below{};
    GetWindowRect(Item(IDC_EX_LATCHES), &above);
    GetWindowRect(Item(IDC_EX_FREQ_FIGURES), &below);
    MapWindowPoints(nullptr, explorer_->Handle(), reinterpret_cast<POINT*>(&above), 2);
    MapWindowPoints(nullptr, explorer_->Handle(), reinterpret_cast<POINT*>(&below), 2);
    const Screenshot shot(explorer_->Handle());
    const std::vector<Frame> frames = FramesOnScreen(shot, above.bottom, below.top);
    ASSERT_EQ(frames.size(), 2u) << "plot frames found on the screen";
    const struct {
      const char* group;
      const char* curve;
      const Frame& frame;
    } plots[] = {{"zo", "zo", frames[0]}, {"gain_db", "gain", frames[1]}};
    for (const auto& p : plots) {
      const SvgCurve curve = CurveOfSvg(svg, p.group, p.curve);
      ASSERT_EQ(curve.points.size(), report.points.size()) << p.curve;
      const std::vector<std::string> off = PointsOffTheCurve(shot, p.frame, curve);
      EXPECT_TRUE(off.empty()) << op.name << ", " << p.curve << ": " << off.size() << " of "
                               << curve.points.size() << " points off the drawn curve, first "
                               << (off.empty() ? "" : off.front());
    }
  }

  DesignInputs design_{};
};

TEST_F(FrequencyPageTest, DrawnCurvesAreTheSvgsForTheDefaultDesign) {
  Open({0.0, 600, 10000, 10000, 68, 24});
  ChoosePreset(1);  // NE5532
  ASSERT_EQ(TextOf(Item(IDC_EX_OPAMP)), L"NE5532");
  ExpectCurvesOfTheSvg(*response::FindPreset("NE5532"));
}

TEST_F(FrequencyPageTest, DrawnCurvesAreTheSvgsNearTheLimit) {
  Open({0.0, 600, 10000, 10000, 3, 0});  // Zo / R5 = 200
  ChoosePreset(2);  // TL072
  ExpectCurvesOfTheSvg(*response::FindPreset("TL072"));
}

TEST_F(FrequencyPageTest, PresetsFillTheBoxesAndAnEditMakesItCustom) {
  Open({0.0, 600, 10000, 10000, 68, 24});
  ChoosePreset(2);
  EXPECT_EQ(TextOf(Item(IDC_EX_GBW)), L"3M");
  EXPECT_EQ(TextOf(Item(IDC_EX_F2)), L"∞");
  EXPECT_EQ(TextOf(Item(IDC_EX_EN)), L"18n");
  // The load capacitance is not the op-amp's: the preset stays.
  SetWindowTextW(Item(IDC_EX_CLOAD), L"1n");
  EXPECT_EQ(TextOf(Item(IDC_EX_OPAMP)), L"TL072");
  SetWindowTextW(Item(IDC_EX_GBW), L"4M");
  EXPECT_EQ(TextOf(Item(IDC_EX_OPAMP)), L"custom");
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_EX_COPY_FREQ)));
  // A box while it is typed: the page shows nothing rather than old figures.
  SetWindowTextW(Item(IDC_EX_GBW), L"4");
  SetWindowTextW(Item(IDC_EX_GBW), L"");
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_EX_COPY_FREQ)));
  EXPECT_EQ(TextOf(Item(IDC_EX_FREQ_FIGURES)), L"");
  SetWindowTextW(Item(IDC_EX_GBW), L"4M");
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_EX_COPY_FREQ)));
  response::OpAmp op = *response::FindPreset("TL072");
  op.name = "custom";
  op.gbw = 4e6;
  response::FrequencySettings settings;
  settings.cload = 1e-9;
  ExpectCurvesOfTheSvg(op, settings);
}

}  // namespace
}  // namespace velmora::explore
