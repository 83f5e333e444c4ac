#include "explore/win/histogram_painter.h"

#include <cmath>
#include <string>
#include <string_view>

#include "common/utf.h"
#include "common/win/handles.h"
#include "common/win/win_text.h"
#include "explore/histogram_picture.h"
#include "explore/win/explorer_page.h"

namespace velmora::explore {

using common::ToWide;

namespace {

// The histogram's shapes on `dc`, a w x h canvas.
void DrawBars(HDC dc, const Histogram& histogram, int w, int h, int lineHeight) {
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
    SetTextAlign(dc, align);
    TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  };
  // The names are laid out with the widths this font draws them.
  auto width = [dc](std::string_view s) {
    const std::wstring wide = ToWide(common::Utf8ToUtf16(s));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<double>(size.cx);
  };
  for (const Shape& s : LayOutHistogram(histogram, w, h, lineHeight, width)) {
    switch (s.kind) {
      case Shape::Kind::Window: {
        RECT r{px(s.x0), px(s.y0), px(s.x1), px(s.y1)};
        FillRect(dc, &r, windowBrush.get());
        break;
      }
      case Shape::Kind::Bar: {
        if (s.count == 0) break;
        common::ScopedSelect pen(dc, barPen.get());
        common::ScopedSelect brush(dc, barBrush.get());
        Rectangle(dc, px(s.x0), px(s.y0), px(s.x1) + 1, px(s.y1) + 1);
        break;
      }
      case Shape::Kind::Axis: {
        common::ScopedSelect pen(dc, axisPen.get());
        MoveToEx(dc, px(s.x0), px(s.y0), nullptr);
        LineTo(dc, px(s.x1), px(s.y1));
        break;
      }
      case Shape::Kind::Tick: {
        common::ScopedSelect pen(dc, axisPen.get());
        MoveToEx(dc, px(s.x0), px(s.y0), nullptr);
        LineTo(dc, px(s.x1), px(s.y1));
        text(s.text, px(s.x1), px(s.y1), TA_CENTER | TA_TOP);
        break;
      }
      case Shape::Kind::Mark: {
        common::ScopedSelect pen(dc, markPen.get());
        MoveToEx(dc, px(s.x0), px(s.y0), nullptr);
        LineTo(dc, px(s.x1), px(s.y1));
        break;
      }
      case Shape::Kind::Label:
        SetTextColor(dc, RGB(0xC0, 0x30, 0x30));
        text(s.text, px((s.x0 + s.x1) / 2), px(s.y1), TA_CENTER | TA_BOTTOM);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        break;
      case Shape::Kind::Text: text(s.text, px(s.x0), px(s.y0), TA_LEFT | TA_TOP); break;
    }
  }
}

}  // namespace

void DrawHistogram(HDC target, const RECT& area, const Histogram* histogram, HFONT font, int lineHeight) {
  PaintOffScreen(target, area, font, [&](HDC dc, int w, int h) {
    if (histogram != nullptr) DrawBars(dc, *histogram, w, h, lineHeight);
  });
}

}  // namespace velmora::explore
