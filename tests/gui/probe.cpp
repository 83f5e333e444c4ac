// probe: reads what the running Velmora window shows, for the GUI tests.
//   probe state     one "key=value" line per fact: title, client size, window
//                   rectangle, focused control, texts and enabled states of
//                   the controls, and every other visible top-level window of
//                   the program (dialogs) with its caption, texts and buttons.
//   probe rect NAME the screen rectangle of a control: "left top right bottom".
// Output is UTF-8. Exit code 2 when the main window is not found.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "main/win/resource.h"

namespace {

struct Named {
  const char* name;
  int id;
};

constexpr Named kControls[] = {
    {"EditZo", IDC_EDITZO},       {"EditGain", IDC_EDITGAIN},     {"EditR1", IDC_EDITR1},
    {"EditR3", IDC_EDITR3},       {"EditR5", IDC_EDITR5},         {"EditZor", IDC_EDITZOR},
    {"EditGainr", IDC_EDITGAINR}, {"EditR2", IDC_EDITR2},         {"EditR4", IDC_EDITR4},
    {"ComboBoxER", IDC_COMBOBOXER}, {"ButtonCalc", IDC_BUTTONCALC}, {"ButtonPrint", IDC_BUTTONPRINT},
    {"ButtonCopy", IDC_BUTTONCOPY}, {"ButtonExit", IDC_BUTTONEXIT}, {"EditZio", IDC_EDITZIO},
    {"EditDecr", IDC_EDITDECR},   {"LabelHelp", IDC_LABELHELP},   {"LabelZo", IDC_LABELZO},
    {"LabelDecr", IDC_LABELDECR},
};

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring Text(HWND h) {
  wchar_t buf[2048] = {};
  const LRESULT n = SendMessageW(h, WM_GETTEXT, std::size(buf), reinterpret_cast<LPARAM>(buf));
  return std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

// Control texts may hold CR LF: write them escaped so that one fact is one line.
std::string Escaped(const std::wstring& w) {
  std::string s = Utf8(w), out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

const char* NameOf(HWND main, HWND h) {
  if (h == nullptr) return "none";
  for (const Named& c : kControls) {
    HWND item = GetDlgItem(main, c.id);
    if (item == h || (item != nullptr && IsChild(item, h))) return c.name;
  }
  return h == main ? "main" : "other";
}

struct Windows {
  DWORD pid;
  HWND main;
  std::vector<HWND> others;
};

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
  auto* w = reinterpret_cast<Windows*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == w->pid && h != w->main && IsWindowVisible(h)) w->others.push_back(h);
  return TRUE;
}

BOOL CALLBACK DumpChild(HWND h, LPARAM lp) {
  wchar_t cls[64] = {};
  GetClassNameW(h, cls, 64);
  const int n = ++*reinterpret_cast<int*>(lp);
  std::printf("dialog.child%d=%s|%s|%d\n", n, Utf8(cls).c_str(), Escaped(Text(h)).c_str(),
              IsWindowVisible(h) ? 1 : 0);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND main = FindWindowW(L"TFormMain", nullptr);
  if (main == nullptr) {
    std::printf("main=none\n");
    return 2;
  }
  if (argc >= 3 && std::wstring(argv[1]) == L"rect") {
    for (const Named& c : kControls) {
      if (Utf8(argv[2]) == c.name) {
        RECT r{};
        GetWindowRect(GetDlgItem(main, c.id), &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
      }
    }
    return 1;
  }
  std::printf("title=%s\n", Utf8(Text(main)).c_str());
  RECT cr{}, wr{};
  GetClientRect(main, &cr);
  GetWindowRect(main, &wr);
  std::printf("client=%ldx%ld\n", cr.right, cr.bottom);
  std::printf("window=%ld %ld %ld %ld\n", wr.left, wr.top, wr.right, wr.bottom);
  std::printf("screen=%dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(main, &pid);
  GUITHREADINFO gti{};
  gti.cbSize = sizeof(gti);
  GetGUIThreadInfo(tid, &gti);
  std::printf("focus=%s\n", NameOf(main, gti.hwndFocus));
  std::printf("active=%s\n", gti.hwndActive == main ? "main" : gti.hwndActive ? "other" : "none");
  for (const Named& c : kControls) {
    HWND h = GetDlgItem(main, c.id);
    std::printf("text.%s=%s\n", c.name, Escaped(Text(h)).c_str());
    std::printf("enabled.%s=%d\n", c.name, IsWindowEnabled(h) ? 1 : 0);
  }
  Windows w{pid, main, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&w));
  for (HWND h : w.others) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (std::wstring(cls) == L"tooltips_class32") continue;
    RECT r{};
    GetWindowRect(h, &r);
    std::printf("dialog.class=%s\n", Utf8(cls).c_str());
    std::printf("dialog.caption=%s\n", Escaped(Text(h)).c_str());
    std::printf("dialog.rect=%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    int n = 0;
    EnumChildWindows(h, DumpChild, reinterpret_cast<LPARAM>(&n));
  }
  return 0;
}
