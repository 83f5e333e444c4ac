// What the in-process window tests share: running the thread's messages
// while waiting, reading a control's text, and a main window with the
// explorer opened over it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "explore/win/form_explorer.h"
#include "main/win/form_main.h"

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

// A main window for the explorer to belong to, and the explorer.
class ExplorerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    instance_ = GetModuleHandleW(nullptr);
    ASSERT_TRUE(main_->Create(instance_, {}));
  }

  // The main window's end posts the quit message of a program: taken back,
  // or it would end the next test's modal loop.
  void TearDown() override {
    explorer_.reset();
    main_.reset();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  // Opens the explorer on `page`, following `design`.
  void OpenOn(TFormExplorer::Page page, const DesignInputs& design) {
    TFormExplorer::Links links;
    links.current = [design] { return std::optional<DesignInputs>(design); };
    explorer_->Open(instance_, main_->Handle(), links, page);
  }

  HINSTANCE instance_ = nullptr;
  std::unique_ptr<main::TFormMain> main_ = std::make_unique<main::TFormMain>();
  std::unique_ptr<TFormExplorer> explorer_ = std::make_unique<TFormExplorer>();
};

}  // namespace velmora::explore::testing
