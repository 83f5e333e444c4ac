#include "explore/win/bode_painter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/utf.h"
#include "common/win/handles.h"
#include "common/win/win_text.h"
#include "explore/win/explorer_page.h"

namespace velmora::explore {

namespace {

using common::ToWide;
using Kind = response::BodeShape::Kind;
using UniqueBrush = common::UniqueHandle<HBRUSH, &common::detail::DeleteGdiObject<HBRUSH>>;
using UniquePen = common::UniqueHandle<HPEN, &common::detail::DeleteGdiObject<HPEN>>;

constexpr COLORREF kMarkColour = RGB(0xC0, 0x30, 0x30);

int Px(double v) { return static_cast<int>(std::lround(v)); }

// A pen of `style` that draws dashes as the SVG does at any width (a
// cosmetic pen only dashes one pixel wide lines).
HPEN MakePen(DWORD style, int width, COLORREF colour) {
  if (style == PS_SOLID) return CreatePen(PS_SOLID, width, colour);
  LOGBRUSH brush{BS_SOLID, colour, 0};
  const DWORD dashes[] = {5, 3};
  return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, static_cast<DWORD>(width), &brush, 2, dashes);
}

class Painter {
 public:
  Painter(HDC dc, int width) : dc_(dc), width_(width) {}

  void Shape(const response::BodeShape& s, int lineHeight) {
    switch (s.kind) {
      case Kind::Band: {
        const RECT r{Px(s.x0), Px(s.y0), Px(s.x1), Px(s.y1)};
        FillRect(dc_, &r, bandBrush_.get());
        break;
      }
      case Kind::Curve: {
        std::vector<POINT> points;
        points.reserve(s.points.size());
        for (const auto& [x, y] : s.points) points.push_back({Px(x), Px(y)});
        common::ScopedSelect pen(dc_, s.name == "gain_open" ? dashedPen_.get() : curvePen_.get());
        Polyline(dc_, points.data(), static_cast<int>(points.size()));
        break;
      }
      case Kind::Axis: Line(axisPen_.get(), s); break;
      case Kind::TickX:
        Line(axisPen_.get(), s);
        Text(s.text, Px(s.x1), Px(s.y1), TA_CENTER | TA_TOP);
        break;
      case Kind::TickY:
        Line(gridPen_.get(), s);
        if (!s.text.empty()) Text(s.text, Px(s.x0 - 0.4 * lineHeight), Px(s.y0 - lineHeight / 2.0), TA_RIGHT | TA_TOP);
        break;
      case Kind::Mark: {
        common::ScopedSelect pen(dc_, markPen_.get());
        MoveToEx(dc_, Px(s.x0), Px(s.y0), nullptr);
        LineTo(dc_, Px(s.x1), Px(s.y1));
        SetTextColor(dc_, kMarkColour);
        // Centred over its line, but kept inside the plot.
        const int half = TextWidth(s.text) / 2;
        const int x = std::clamp(Px(s.x0), half + 2, std::max(half + 2, width_ - half - 2));
        Text(s.text, x, Px(s.y0), TA_CENTER | TA_BOTTOM);
        SetTextColor(dc_, GetSysColor(COLOR_WINDOWTEXT));
        break;
      }
      case Kind::Text: {
        // Cut with an ellipsis where the plot is too narrow for it.
        const int margin = lineHeight / 2;
        RECT r{std::min(Px(s.x0), margin), Px(s.y0), width_ - margin, Px(s.y0) + lineHeight + 2};
        const std::wstring wide = ToWide(common::Utf8ToUtf16(s.text));
        SetTextAlign(dc_, TA_LEFT | TA_TOP);
        DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &r,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        break;
      }
    }
  }

 private:
  void Line(HPEN pen, const response::BodeShape& s) {
    common::ScopedSelect select(dc_, pen);
    MoveToEx(dc_, Px(s.x0), Px(s.y0), nullptr);
    LineTo(dc_, Px(s.x1), Px(s.y1));
  }
  void Text(const std::string& s, int x, int y, UINT align) {
    const std::wstring wide = ToWide(common::Utf8ToUtf16(s));
    SetTextAlign(dc_, align);
    TextOutW(dc_, x, y, wide.c_str(), static_cast<int>(wide.size()));
  }
  int TextWidth(const std::string& s) {
    const std::wstring wide = ToWide(common::Utf8ToUtf16(s));
    SIZE size{};
    GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
    return size.cx;
  }

  HDC dc_;
  int width_;
  UniqueBrush bandBrush_{CreateSolidBrush(RGB(0xD8, 0xF0, 0xD8))};
  UniquePen curvePen_{MakePen(PS_SOLID, 2, kCurveColour)};
  UniquePen dashedPen_{MakePen(PS_DASH, 1, kCurveColour)};
  UniquePen axisPen_{CreatePen(PS_SOLID, 1, RGB(0, 0, 0))};
  UniquePen gridPen_{CreatePen(PS_SOLID, 1, RGB(0xDD, 0xDD, 0xDD))};
  UniquePen markPen_{CreatePen(PS_DOT, 1, kMarkColour)};
};

}  // namespace

void DrawBode(HDC target, const RECT& area, const response::FrequencyReport* report, response::BodePanel panel,
              HFONT font, int lineHeight) {
  PaintOffScreen(target, area, font, [&](HDC dc, int w, int h) {
    if (report == nullptr) return;
    Painter painter(dc, w);
    for (const response::BodeShape& s : response::LayOutBode(*report, panel, w, h, lineHeight))
      painter.Shape(s, lineHeight);
  });
}

}  // namespace velmora::explore
