// The centred message box, driven from inside its own modal loop: a thread
// timer finds the open dialog, records what it shows and presses keys or
// buttons, one step per tick. Every run gives up after five seconds.
#include "common/win/message_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/placement.h"

namespace velmora::common {
namespace {

using namespace msgdlg;

constexpr wchar_t kOtherClass[] = L"VelmoraTestOther";
constexpr DWORD kGiveUpMs = 5000;
constexpr INT_PTR kGaveUp = -77;

std::wstring WindowText(HWND w) {
  std::wstring s(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
  return s;
}

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

RECT WindowRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

// What the open dialog showed, as seen from the timer.
struct Seen {
  bool found = false;
  std::wstring caption;
  std::vector<std::wstring> buttons;  // left to right
  RECT atShow{};                      // outer rectangle when first shown
  RECT open{};                        // outer rectangle while open
  RECT text{};                        // the message control, screen pixels
  HICON icon = nullptr;
  SIZE iconSize{};
  HWND owner = nullptr;
  bool focusInside = false;
  bool ownerEnabled = true;
  bool otherEnabled = true;
  std::wstring failure;
};

using Step = std::function<void(HWND dialog)>;

// Runs MessageBoxCentered while a timer plays `steps` against the dialog.
class Driver {
 public:
  explicit Driver(std::vector<Step> steps, HWND other = nullptr)
      : steps_(std::move(steps)), other_(other) {}

  int Run(std::wstring_view text, MsgDlgType type, MsgDlgButtons buttons, HWND parent) {
    current_ = this;
    start_ = GetTickCount();
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &OnCall, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, &OnTick);
    const int result = MessageBoxCentered(text, type, buttons, 0, parent);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
    return result;
  }

  const Seen& seen() const { return seen_; }

 private:
  static HWND FindDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM p) -> BOOL {
      if (ClassOf(w) != L"#32770") return TRUE;
      *reinterpret_cast<HWND*>(p) = w;
      return FALSE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && current_ && msg->message == WM_SHOWWINDOW && msg->wParam &&
        ClassOf(msg->hwnd) == L"#32770" && !current_->shown_) {
      current_->shown_ = true;
      current_->seen_.atShow = WindowRect(msg->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) current_->Tick();
  }

  void Tick() {
    HWND dialog = FindDialog();
    if (GetTickCount() - start_ > kGiveUpMs) {
      seen_.failure = seen_.found ? L"dialog did not close" : L"dialog not found";
      if (dialog) EndDialog(dialog, kGaveUp);
      return;
    }
    if (!dialog || !IsWindowVisible(dialog)) return;
    if (!seen_.found) Record(dialog);
    if (next_ < steps_.size()) steps_[next_++](dialog);
  }

  void Record(HWND dialog) {
    seen_.found = true;
    seen_.caption = WindowText(dialog);
    seen_.open = WindowRect(dialog);
    seen_.owner = GetWindow(dialog, GW_OWNER);
    seen_.focusInside = IsChild(dialog, GetFocus()) != FALSE;
    seen_.ownerEnabled = seen_.owner && IsWindowEnabled(seen_.owner);
    seen_.otherEnabled = other_ && IsWindowEnabled(other_);
    std::vector<std::pair<LONG, std::wstring>> buttons;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      const std::wstring cls = ClassOf(c);
      if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        buttons.emplace_back(WindowRect(c).left, WindowText(c));
      } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        seen_.icon = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0));
        const RECT r = WindowRect(c);
        seen_.iconSize = {r.right - r.left, r.bottom - r.top};
      } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        seen_.text = WindowRect(c);
      }
    }
    std::sort(buttons.begin(), buttons.end());
    for (auto& b : buttons) seen_.buttons.push_back(std::move(b.second));
  }

  static inline Driver* current_ = nullptr;
  std::vector<Step> steps_;
  size_t next_ = 0;
  HWND other_;
  HHOOK hook_ = nullptr;
  DWORD start_ = 0;
  bool shown_ = false;
  Seen seen_;
};

// ---- Steps ----

// A key press sent to the control with the focus (no X focus needed).
Step Key(UINT vk) {
  return [vk](HWND dialog) {
    HWND target = GetFocus();
    if (!IsChild(dialog, target)) target = dialog;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  };
}

Step Click(std::wstring caption) {
  return [caption](HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (WindowText(c) == caption) PostMessageW(c, BM_CLICK, 0, 0);
  };
}

Step CloseBox() {
  return [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
}

Step Wait() {
  return [](HWND) {};
}

// ---- Windows to place the dialog over ----

LRESULT CALLBACK PlainProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(w, msg, wParam, lParam);
}

void RegisterClassOnce(const wchar_t* name) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &PlainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name;
  RegisterClassW(&wc);  // fails harmlessly when already registered
}

// A top-level window created hidden and then shown without activation.
HWND ShowWindowAt(const wchar_t* cls, RECT r) {
  RegisterClassOnce(cls);
  HWND w = CreateWindowExW(0, cls, L"Parent", WS_OVERLAPPEDWINDOW, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(w, SW_SHOWNOACTIVATE);
  UpdateWindow(w);
  return w;
}

class MessageDialogTest : public ::testing::Test {
 protected:
  HWND MainAt(RECT r) {
    HWND main = Keep(ShowWindowAt(L"TestMain", r));
    EXPECT_TRUE(MarkAsAppMainWindow(main));
    return main;
  }
  HWND OtherAt(RECT r) { return Keep(ShowWindowAt(kOtherClass, r)); }
  void TearDown() override {
    for (HWND w : windows_) DestroyWindow(w);
  }

 private:
  HWND Keep(HWND w) {
    windows_.push_back(w);
    return w;
  }
  std::vector<HWND> windows_;
};

// Where the placement rule puts a dialog of the observed size over `parent`.
ScreenPoint ExpectedPosition(HWND parent, const RECT& dialog) {
  const RECT p = WindowRect(parent);
  const RECT a = MonitorWorkArea(parent);
  return MessageDialogPosition({p.left, p.top, p.right, p.bottom}, dialog.right - dialog.left,
                               dialog.bottom - dialog.top, {a.left, a.top, a.right, a.bottom});
}

const wchar_t kWarningText[] = L"The value of R5 is too large.\r\nCheck the inputs.";

TEST_F(MessageDialogTest, WarningWithOkIsCentredOverTheParentFromTheStart) {
  HWND main = MainAt({300, 200, 900, 600});
  Driver driver({Key(VK_RETURN)});
  EXPECT_EQ(driver.Run(kWarningText, MsgDlgType::Warning, kOK, main), 1);
  const Seen& s = driver.seen();
  ASSERT_TRUE(s.found) << std::string(s.failure.begin(), s.failure.end());
  EXPECT_EQ(s.caption, L"Warning");
  EXPECT_EQ(s.buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_EQ(s.icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(s.iconSize.cx, 32);
  EXPECT_EQ(s.iconSize.cy, 32);
  EXPECT_TRUE(s.focusInside);

  const ScreenPoint expected = ExpectedPosition(main, s.open);
  EXPECT_EQ(s.atShow.left, expected.x);  // already in place when it appears
  EXPECT_EQ(s.atShow.top, expected.y);
  EXPECT_EQ(s.open.left, expected.x);
  EXPECT_EQ(s.open.top, expected.y);
  // Independently of the rule: the centres coincide to within the half pixel.
  EXPECT_LE(std::abs((s.open.left + s.open.right) - (300 + 900)), 1);
  EXPECT_LE(std::abs((s.open.top + s.open.bottom) - (200 + 600)), 1);
}

TEST_F(MessageDialogTest, KeysButtonsAndCloseBoxGiveTheirResults) {
  struct Case {
    const char* what;
    MsgDlgButtons buttons;
    std::vector<Step> steps;
    int result;
  };
  const Case cases[] = {
      {"{OK} Enter",            kOK,                       {Key(VK_RETURN)},  1},
      {"{OK} Esc",              kOK,                       {Key(VK_ESCAPE)},  1},
      {"{OK} click",            kOK,                       {Click(L"OK")},    1},
      {"{OK} close box",        kOK,                       {CloseBox()},      2},
      {"{Yes,No} Enter",        kYes | kNo,                {Key(VK_RETURN)},  6},
      {"{Yes,No} Esc",          kYes | kNo,                {Key(VK_ESCAPE)},  7},
      {"{Yes,No} close box",    kYes | kNo,                {CloseBox()},      2},
      {"{Yes,No,Cancel} Esc",   kYes | kNo | kCancel,      {Key(VK_ESCAPE)},  2},
      {"{OK,Cancel} Enter",     kOK | kCancel,             {Key(VK_RETURN)},  1},
      {"{OK,Cancel} Esc",       kOK | kCancel,             {Key(VK_ESCAPE)},  2},
      {"{Yes,OK} Enter",        kYes | kOK,                {Key(VK_RETURN)},  1},
      {"{Retry,Cancel} Enter",  kRetry | kCancel,          {Key(VK_RETURN)},  4},
      // No Cancel, No or OK: Esc leaves the dialog open.
      {"{Abort,Retry,Ignore}",  kAbort | kRetry | kIgnore, {Key(VK_ESCAPE), Wait(), Click(L"&Ignore")}, 5},
      {"Help stays open",       kHelp | kClose,            {Click(L"&Help"), Wait(), Click(L"&Close")}, 8},
  };
  HWND main = MainAt({300, 200, 900, 600});
  for (const auto& c : cases) {
    Driver driver(c.steps);
    EXPECT_EQ(driver.Run(L"Question?", MsgDlgType::Confirmation, c.buttons, main), c.result) << c.what;
    EXPECT_TRUE(driver.seen().failure.empty()) << c.what;
  }
}

TEST_F(MessageDialogTest, AllButtonsInTableOrderWithTheirResults) {
  const std::vector<std::wstring> captions = {L"&Yes",   L"&No",        L"OK",          L"Cancel",
                                              L"&Abort", L"&Retry",     L"&Ignore",     L"&All",
                                              L"N&o to All", L"Yes to &All", L"&Help", L"&Close"};
  const int results[] = {6, 7, 1, 2, 3, 4, 5, 12, 13, 14, 0, 8};
  HWND main = MainAt({300, 200, 900, 600});
  for (int bit = 0; bit < kButtonCount; ++bit) {
    if (bit == 10) continue;  // Help does not close
    Driver driver({Click(captions[static_cast<size_t>(bit)])});
    EXPECT_EQ(driver.Run(L"Pick one", MsgDlgType::Information, 0x0FFF, main), results[bit])
        << "bit " << bit;
    EXPECT_EQ(driver.seen().buttons, captions) << "bit " << bit;
  }
}

TEST_F(MessageDialogTest, CaptionAndIconFollowTheType) {
  wchar_t path[MAX_PATH];
  const std::wstring module(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  const std::wstring file = module.substr(module.find_last_of(L"\\/") + 1);
  struct Case {
    MsgDlgType type;
    const wchar_t* caption;
    HICON icon;
  };
  const Case cases[] = {
      {MsgDlgType::Warning,      L"Warning",     LoadIconW(nullptr, IDI_WARNING)},
      {MsgDlgType::Error,        L"Error",       LoadIconW(nullptr, IDI_ERROR)},
      {MsgDlgType::Information,  L"Information", LoadIconW(nullptr, IDI_INFORMATION)},
      {MsgDlgType::Confirmation, L"Confirm",     LoadIconW(nullptr, IDI_WARNING)},
      {MsgDlgType::Custom,       nullptr,        nullptr},
  };
  HWND main = MainAt({300, 200, 900, 600});
  for (const auto& c : cases) {
    Driver driver({Key(VK_RETURN)});
    EXPECT_EQ(driver.Run(L"Text", c.type, kOK, main), 1);
    const Seen& s = driver.seen();
    if (c.caption) {
      EXPECT_EQ(s.caption, c.caption);
    } else {  // the executable's name without ".exe"
      EXPECT_EQ(_wcsicmp((s.caption + L".exe").c_str(), file.c_str()), 0)
          << std::string(s.caption.begin(), s.caption.end());
    }
    EXPECT_EQ(s.icon, c.icon);
  }
}

TEST_F(MessageDialogTest, ClampedIntoTheWorkAreaOfTheParentsMonitor) {
  const RECT area = MonitorWorkArea(nullptr);
  // Mostly left of the work area and reaching below it.
  HWND main = MainAt({area.left - 350, area.bottom - 100, area.left + 50, area.bottom + 200});
  Driver driver({Key(VK_RETURN)});
  EXPECT_EQ(driver.Run(kWarningText, MsgDlgType::Warning, kOK, main), 1);
  const Seen& s = driver.seen();
  EXPECT_EQ(s.open.left, area.left);
  EXPECT_EQ(s.open.bottom, area.bottom);
  EXPECT_EQ(s.atShow.left, area.left);
  EXPECT_EQ(s.atShow.bottom, area.bottom);
}

TEST_F(MessageDialogTest, NoParentMeansTheMainWindowAndTheAppIsDisabled) {
  HWND main = MainAt({200, 150, 700, 450});
  HWND other = OtherAt({900, 150, 1200, 450});
  Driver driver({Key(VK_RETURN)}, other);
  EXPECT_EQ(driver.Run(kWarningText, MsgDlgType::Warning, kOK, nullptr), 1);
  const Seen& s = driver.seen();
  EXPECT_EQ(s.owner, main);
  const ScreenPoint expected = ExpectedPosition(main, s.open);
  EXPECT_EQ(s.open.left, expected.x);
  EXPECT_EQ(s.open.top, expected.y);
  EXPECT_FALSE(s.ownerEnabled);
  EXPECT_FALSE(s.otherEnabled);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(IsWindowEnabled(other));
}

TEST_F(MessageDialogTest, LineBreaksKeptAndLongLinesWrapAtHalfTheScreen) {
  HWND main = MainAt({300, 200, 900, 600});
  auto textRect = [&](const std::wstring& text) {
    Driver driver({Key(VK_RETURN)});
    EXPECT_EQ(driver.Run(text, MsgDlgType::Information, kOK, main), 1);
    return driver.seen().text;
  };
  const RECT one = textRect(L"One line");
  const RECT two = textRect(L"One line\r\nTwo lines");
  std::wstring longLine;
  for (int i = 0; i < 80; ++i) longLine += L"word" + std::to_wstring(i) + L' ';
  const RECT wrapped = textRect(longLine);
  const LONG lineHeight = one.bottom - one.top;
  ASSERT_GT(lineHeight, 0);
  EXPECT_EQ(two.bottom - two.top, 2 * lineHeight);
  EXPECT_LE(wrapped.right - wrapped.left, GetSystemMetrics(SM_CXSCREEN) / 2);
  EXPECT_GE(wrapped.bottom - wrapped.top, 3 * lineHeight);
}

TEST_F(MessageDialogTest, WithoutAnyWindowTheSystemBoxIsShown) {
  ASSERT_EQ(AppMainWindow(), nullptr);
  Driver driver({Key(VK_RETURN)});
  EXPECT_EQ(driver.Run(kWarningText, MsgDlgType::Warning, kOK, nullptr), 1);
  EXPECT_EQ(driver.seen().caption, L"Warning");
}

}  // namespace
}  // namespace velmora::common
