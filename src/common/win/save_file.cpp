#include "common/win/save_file.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace velmora::common {
namespace {

// Loaded on first use, as the print dialog is: importing the common dialogs
// would load the shell libraries at every start of the program.
decltype(&::GetSaveFileNameW) SaveDialog() {
  static const auto dialog = [] {
    HMODULE module = LoadLibraryW(L"comdlg32.dll");
    return module == nullptr ? nullptr
                             : reinterpret_cast<decltype(&::GetSaveFileNameW)>(
                                   reinterpret_cast<void*>(GetProcAddress(module, "GetSaveFileNameW")));
  }();
  return dialog;
}

}  // namespace

std::optional<std::wstring> AskSavePath(HWND owner, std::wstring_view filter, std::wstring_view defaultName,
                                        std::wstring_view defaultExt) {
  const auto dialog = SaveDialog();
  if (dialog == nullptr) return std::nullopt;
  // The dialog wants the pairs separated by NULs and ended by two.
  std::wstring filters(filter);
  for (wchar_t& c : filters) {
    if (c == L'|') c = L'\0';
  }
  filters.append(2, L'\0');
  std::vector<wchar_t> path(32768, L'\0');
  defaultName.copy(path.data(), std::min(defaultName.size(), path.size() - 1));
  const std::wstring ext(defaultExt);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filters.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrDefExt = ext.c_str();
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!dialog(&ofn)) return std::nullopt;
  return std::wstring(path.data());
}

DWORD WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD error = 0;
  std::size_t done = 0;
  while (done < bytes.size() && error == 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    done += written;
  }
  if (!CloseHandle(file) && error == 0) error = GetLastError();
  if (error != 0) DeleteFileW(path.c_str());
  return error;
}

}  // namespace velmora::common
