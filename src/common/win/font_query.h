// Describing the font of a control to another program. Font handles cannot be
// read across processes, so a program that wants to check which font a window
// of this program uses (the GUI tests) sends the window this message and reads
// the answer from the global atom table.
#pragma once

#include <windows.h>

namespace velmora::common {

// The registered message: wParam is the window itself or one of its
// descendants, lParam is unused. The answer is a global atom named
// "face|height|weight|italic|underline|charset" (the LOGFONTW fields of the
// font the control reports with WM_GETFONT), which the asker deletes; 0 when
// the control is not the window's or reports no font.
UINT FontQueryMessage();

// The window procedure's answer to FontQueryMessage() for `window`.
LRESULT AnswerFontQuery(HWND window, WPARAM control);

}  // namespace velmora::common
