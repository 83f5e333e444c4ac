// The frequency page's Bode plots drawn with GDI, from the same picture
// model (response::LayOutBode) as the command line's SVG.
#pragma once

#include <windows.h>

#include "response/bode_picture.h"

namespace velmora::explore {

// Draws `panel` of `report` (nothing but the frame when null) into `area` of
// `target`, off the screen first so that a redraw does not flicker; texts in
// `font`, whose lines are `lineHeight` high. The curves are drawn in
// kCurveColour (the no-load gain dashed), the marks in red.
void DrawBode(HDC target, const RECT& area, const response::FrequencyReport* report, response::BodePanel panel,
              HFONT font, int lineHeight);

inline constexpr COLORREF kCurveColour = RGB(0x2A, 0x5C, 0xAA);

}  // namespace velmora::explore
