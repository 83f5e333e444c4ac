// Text chores between the window system (wchar_t, UTF-16) and the core
// (char16_t).
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora::common {

std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(std::wstring_view text);

// The whole text of a window or control.
std::u16string WindowText(HWND window);

// A string resource; empty when it does not exist.
std::wstring LoadResourceText(HINSTANCE instance, UINT id);

// The bytes of a raw-data (RCDATA) resource, valid while the module is
// loaded; empty when it does not exist.
std::span<const std::uint8_t> LoadResourceData(HINSTANCE instance, UINT id);

// A raw-data resource holding UTF-8 text, as UTF-16; empty when it does not
// exist.
std::wstring LoadResourceUtf8(HINSTANCE instance, UINT id);

// The system's text for an error code, without the trailing line end.
std::wstring SystemErrorText(DWORD error);

}  // namespace velmora::common
