// What the in-process window tests share: running the thread's messages
// while waiting, and reading a control's text.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace velmora::explore::testing {

// Handles the thread's messages until `done` holds or ten seconds pass;
// false on the timeout.
inline bool PumpUntil(const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (Clock::now() > end) return false;
    Sleep(5);
  }
  return true;
}

inline std::wstring TextOf(HWND w) {
  std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  s.resize(static_cast<std::size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
  return s;
}

}  // namespace velmora::explore::testing
