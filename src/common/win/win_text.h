// Text chores between the window system (wchar_t, UTF-16) and the core
// (char16_t).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velmora::common {

std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(std::wstring_view text);

// The whole text of a window or control.
std::u16string WindowText(HWND window);

// A string resource; empty when it does not exist.
std::wstring LoadResourceText(HINSTANCE instance, UINT id);

// The system's text for an error code, without the trailing line end.
std::wstring SystemErrorText(DWORD error);

}  // namespace velmora::common
