#include "common/win/error_box.h"

#include "common/fp_error.h"
#include "common/utf.h"
#include "common/win/message_dialog.h"

namespace velmora::common {

void ShowErrorBox(HWND owner, const char* message) noexcept {
  try {
    const std::u16string text = ErrorBoxText(Utf8ToUtf16(message));
    const std::wstring title = ApplicationTitle();
    MessageBoxW(owner, reinterpret_cast<const wchar_t*>(text.c_str()), title.c_str(),
                MB_OK | MB_ICONSTOP);
  } catch (...) {
    MessageBoxW(owner, L"Out of memory.", nullptr, MB_OK | MB_ICONSTOP);
  }
}

}  // namespace velmora::common
