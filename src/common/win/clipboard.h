// Placing text on the clipboard.
#pragma once

#include <windows.h>

#include <string_view>

namespace velmora::common {

// Replaces the clipboard's contents with `text` as CF_UNICODETEXT (the text's
// code units and one terminating zero). Throws std::runtime_error with
// "Cannot open clipboard: <system text>" when another program holds the
// clipboard (the contents stay), or "Out of system resources" when the
// clipboard refuses the text (it has been emptied by then).
void CopyTextToClipboard(HWND owner, std::u16string_view text);

}  // namespace velmora::common
