#include "common/win/clipboard.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/utf.h"
#include "common/win/win_text.h"

namespace velmora::common {

namespace {

// Owns an open clipboard for one copy.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) {
    if (!OpenClipboard(owner)) {
      const std::wstring reason = SystemErrorText(GetLastError());
      throw std::runtime_error("Cannot open clipboard: " + Utf16ToUtf8(FromWide(reason)));
    }
  }
  ~OpenedClipboard() { CloseClipboard(); }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

}  // namespace

void CopyTextToClipboard(HWND owner, std::u16string_view text) {
  OpenedClipboard clipboard(owner);
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory == nullptr) throw std::runtime_error("Out of system resources");
  void* target = GlobalLock(memory);
  if (target == nullptr) {
    GlobalFree(memory);
    throw std::runtime_error("Out of system resources");
  }
  std::memcpy(target, text.data(), text.size() * sizeof(char16_t));
  static_cast<char16_t*>(target)[text.size()] = u'\0';
  GlobalUnlock(memory);
  if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
    GlobalFree(memory);  // still ours: the clipboard did not take it
    throw std::runtime_error("Out of system resources");
  }
}

}  // namespace velmora::common
