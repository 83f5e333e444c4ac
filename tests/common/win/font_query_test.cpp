// The answer a window gives to another program asking for a control's font.
#include "common/win/font_query.h"

#include <gtest/gtest.h>

#include <string>

#include "common/win/handles.h"

namespace velmora::common {
namespace {

// Asks `window` about `control` the way another program does; "" for no answer.
std::wstring Ask(HWND window, HWND control) {
  const auto atom = static_cast<ATOM>(AnswerFontQuery(window, reinterpret_cast<WPARAM>(control)));
  if (atom == 0) return {};
  wchar_t name[256] = {};
  const UINT n = GlobalGetAtomNameW(atom, name, 256);
  GlobalDeleteAtom(atom);
  return std::wstring(name, n);
}

UniqueFont MakeFont(const wchar_t* face, LONG height, bool underline = false) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&lf));
}

struct Window {
  HWND handle;
  Window(HWND parent, HFONT font)
      : handle(CreateWindowExW(0, L"STATIC", L"", parent ? WS_CHILD : WS_POPUP, 0, 0, 10, 10, parent,
                               nullptr, nullptr, nullptr)) {
    if (font != nullptr) SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ~Window() { DestroyWindow(handle); }
};

TEST(FontQuery, DescribesTheFontOfTheWindowAndItsDescendants) {
  const UniqueFont tahoma = MakeFont(L"Tahoma", -11), underlined = MakeFont(L"Arial", -13, true);
  const Window top(nullptr, tahoma.get()), child(top.handle, underlined.get()),
      grandchild(child.handle, tahoma.get()), bare(top.handle, nullptr), stranger(nullptr, tahoma.get());
  // clang-format off
  struct { const char* what; HWND control; std::wstring want; } cases[] = {
    {"the window itself",       top.handle,        L"Tahoma|-11|0|0|0|1"},
    {"a child, underlined",     child.handle,      L"Arial|-13|0|0|1|1"},
    {"a grandchild",            grandchild.handle, L"Tahoma|-11|0|0|0|1"},
    {"a control with no font",  bare.handle,       L""},
    {"another window's",        stranger.handle,   L""},
    {"no window",               nullptr,           L""},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Ask(top.handle, c.control), c.want) << c.what;
}

}  // namespace
}  // namespace velmora::common
