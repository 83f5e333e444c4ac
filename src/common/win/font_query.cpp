#include "common/win/font_query.h"

#include <string>

namespace velmora::common {

UINT FontQueryMessage() {
  static const UINT message = RegisterWindowMessageW(L"Velmora.FontQuery");
  return message;
}

LRESULT AnswerFontQuery(HWND window, WPARAM control) {
  const auto target = reinterpret_cast<HWND>(control);
  if (target != window && !IsChild(window, target)) return 0;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(target, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  if (font == nullptr || GetObjectW(font, sizeof lf, &lf) != sizeof lf) return 0;
  lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
  const std::wstring description = std::wstring(lf.lfFaceName) + L'|' + std::to_wstring(lf.lfHeight) +
                                   L'|' + std::to_wstring(lf.lfWeight) + L'|' +
                                   std::to_wstring(lf.lfItalic) + L'|' + std::to_wstring(lf.lfUnderline) +
                                   L'|' + std::to_wstring(lf.lfCharSet);
  return GlobalAddAtomW(description.c_str());
}

}  // namespace velmora::common
