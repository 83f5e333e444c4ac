#include "common/win/save_file.h"

#include <commdlg.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/whole_file.h"
#include "common/win/win_text.h"

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

DWORD SystemErrorOf(int errnoValue) {
  switch (errnoValue) {
    case 0: return ERROR_SUCCESS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
  }
}

DWORD WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  return SystemErrorOf(WriteAllOrNothing(FromWide(path), bytes));
}

}  // namespace velmora::common
