// The histogram of the tolerance page drawn with GDI, from the same picture
// model (LayOutHistogram) as the SVG file.
#pragma once

#include <windows.h>

#include "explore/yield.h"

namespace velmora::explore {

// Draws `histogram` (nothing but the frame when null) into `area` of
// `target`, off the screen first so that a redraw does not flicker; texts in
// `font`, whose lines are `lineHeight` high.
void DrawHistogram(HDC target, const RECT& area, const Histogram* histogram, HFONT font, int lineHeight);

}  // namespace velmora::explore
