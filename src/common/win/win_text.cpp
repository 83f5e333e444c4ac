#include "common/win/win_text.h"

namespace velmora::common {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return FromWide(text);
}

std::wstring LoadResourceText(HINSTANCE instance, UINT id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out the resource itself.
  const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::wstring(text, static_cast<std::size_t>(length));
}

std::span<const std::uint8_t> LoadResourceData(HINSTANCE instance, UINT id) {
  HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL mem = res != nullptr ? LoadResource(instance, res) : nullptr;
  const auto* bytes = mem != nullptr ? static_cast<const std::uint8_t*>(LockResource(mem)) : nullptr;
  if (bytes == nullptr) return {};
  return {bytes, SizeofResource(instance, res)};
}

std::wstring LoadResourceUtf8(HINSTANCE instance, UINT id) {
  const std::span<const std::uint8_t> bytes = LoadResourceData(instance, id);
  if (bytes.empty()) return {};
  const char* text = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, size, wide.data(), length);
  return wide;
}

std::wstring SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  if (text.empty()) text = L"error " + std::to_wstring(error);
  return text;
}

}  // namespace velmora::common
