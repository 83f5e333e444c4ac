// The top-level error report: what the user sees when a command ends in an
// error that nothing else handled.
#pragma once

#include <windows.h>

#include <exception>

namespace velmora::common {

// Shows `message` (a full stop appended when its last character is above
// '.') in a box with the stop icon and an OK button, captioned with the
// application's title, owned by `owner`. Returns when the user closes it.
void ShowErrorBox(HWND owner, const char* message) noexcept;

// Runs `handler`; an exception that escapes it is reported with ShowErrorBox
// and `fallback` is returned instead. Window procedures wrap their handlers
// in this so that no exception crosses a system frame.
template <class Handler>
LRESULT ReportErrors(HWND owner, LRESULT fallback, Handler&& handler) noexcept {
  try {
    return handler();
  } catch (const std::exception& e) {
    ShowErrorBox(owner, e.what());
  } catch (...) {
    ShowErrorBox(owner, "Unexpected error");
  }
  return fallback;
}

}  // namespace velmora::common
