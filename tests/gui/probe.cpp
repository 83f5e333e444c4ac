// probe: reads what the running Velmora window shows, for the GUI tests.
//   probe state     one "key=value" line per fact: title, client size, window
//                   rectangle, focused control, texts and enabled states of
//                   the controls, and every other visible top-level window of
//                   the program (dialogs) with its caption, texts and buttons.
//   probe rect NAME the screen rectangle of a control: "left top right bottom".
//   probe clipboard the clipboard's Unicode text, escaped like the texts
//                   above, and its length in UTF-16 code units.
//   probe clearclipboard
//                   empties the clipboard, so that a later copy is seen to arrive.
//   probe holdclipboard MS
//                   puts "keep-me" on the clipboard, prints "held", keeps the
//                   clipboard open for MS milliseconds or until a line arrives
//                   on its input, then closes it and ends (another program
//                   holding the clipboard).
//   probe listitem N
//                   the screen rectangle of item N of the open drop-down list;
//                   exit code 1 when no list is open.
//   probe font NAME the font of a control ("main", "help" and "Memo1" also
//                   name windows), as the program describes it:
//                   "font=FACE|HEIGHT|WEIGHT|ITALIC|UNDERLINE|CHARSET".
//   probe ink NAME  the pixels of a control on the screen ("ex." names: of the
//                   explorer): ink.pixels (those
//                   that differ from the button-face colour) and ink.coloured
//                   (those of them that are not a shade of grey).
//   probe helpglyphs N
//                   the first N characters of the help text as shown on the
//                   screen, one cell per character: glyphs.inked (cells with
//                   ink) and glyphs.distinct (cells that look different).
//   probe exrow N   the screen rectangle of row N of the explorer's list.
//   probe extab N   the screen rectangle of tab N of the explorer's tab strip.
//   probe excontrols
//                   every control of the explorer window (its direct
//                   children), for checks of its layout: excontrols.client
//                   (its client rectangle), then per control excontrolN
//                   ("NAME|CLASS|VISIBLE|TEXT"), excontrolN.rect (in the
//                   explorer's client coordinates) and excontrolN.textsize
//                   ("WIDTH HEIGHT" of its text on one line in its font;
//                   empty when the program names no font for it).
//   probe serve     reads commands like the above, one per line, and answers
//                   each with its output and a closing line "end=EXIT_CODE".
// "probe state" also reports the explorer window (explorer.*: shown, page,
// list rows, the tolerance page's texts), the text of a visible tooltip (tooltip) and the
// help window (help.*), visible or not:
// how many there are, visibility, owner, caption, outer and client rectangles,
// the text box's rectangle and text, and whether it is the active window.
// Dialogs in "probe state" also get dialog.icon (which standard icon their
// icon control shows, found by comparing its pixels on the screen with each
// standard icon drawn the same size) and dialog.childN.rect (screen rectangle).
// Output is UTF-8. Exit code 2 when the main window is not found.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/win/font_query.h"
#include "explore/win/explorer_resource.h"
#include "help/win/help_resource.h"
#include "main/main_window.h"

namespace {

namespace control = velmora::main::control;

struct Named {
  const char* name;
  int id;
};

constexpr Named kControls[] = {
    {"EditZo", control::EditZo},       {"EditGain", control::EditGain},     {"EditR1", control::EditR1},
    {"EditR3", control::EditR3},       {"EditR5", control::EditR5},         {"EditZor", control::EditZor},
    {"EditGainr", control::EditGainr}, {"EditR2", control::EditR2},         {"EditR4", control::EditR4},
    {"ComboBoxER", control::ComboBoxER}, {"ButtonCalc", control::ButtonCalc}, {"ButtonPrint", control::ButtonPrint},
    {"ButtonCopy", control::ButtonCopy}, {"ButtonExit", control::ButtonExit}, {"EditZio", control::EditZio},
    {"EditDecr", control::EditDecr},   {"LabelHelp", control::LabelHelp},   {"LabelZo", control::LabelZo},
    {"LabelDecr", control::LabelDecr},
};

// The explorer window's controls, named "ex." + name (labels: excontrols only).
constexpr Named kExplorerControls[] = {
    {"Tab", IDC_EX_TAB},           {"List", IDC_EX_LIST},           {"CopySeries", IDC_EX_COPY_SERIES},
    {"Tol", IDC_EX_TOL},           {"Dist", IDC_EX_DIST},           {"Samples", IDC_EX_SAMPLES},
    {"Seed", IDC_EX_SEED},         {"AcceptZo", IDC_EX_ACCEPT_ZO},  {"AcceptGain", IDC_EX_ACCEPT_GAIN},
    {"Calc", IDC_EX_CALC},         {"Cancel", IDC_EX_CANCEL},       {"CopyTol", IDC_EX_COPY_TOL},
    {"ShowZo", IDC_EX_SHOW_ZO},    {"ShowGain", IDC_EX_SHOW_GAIN},  {"Yield", IDC_EX_YIELD},
    {"Unstable", IDC_EX_UNSTABLE}, {"Progress", IDC_EX_PROGRESS},   {"Figures", IDC_EX_FIGURES},
    {"OpAmp", IDC_EX_OPAMP},       {"A0", IDC_EX_A0},               {"Gbw", IDC_EX_GBW},
    {"F2", IDC_EX_F2},             {"Ro", IDC_EX_RO},               {"Cload", IDC_EX_CLOAD},
    {"En", IDC_EX_EN},             {"In", IDC_EX_IN},               {"Vmax", IDC_EX_VMAX},
    {"Imax", IDC_EX_IMAX},         {"Temp", IDC_EX_TEMP},           {"FreqCalc", IDC_EX_FREQ_CALC},
    {"CopyFreq", IDC_EX_COPY_FREQ}, {"FreqStatus", IDC_EX_FREQ_STATUS}, {"Latches", IDC_EX_LATCHES},
    {"FreqFigures", IDC_EX_FREQ_FIGURES},
};

constexpr Named kExplorerLabels[] = {
    {"TolLabel", IDC_EX_TOL_LABEL},           {"DistLabel", IDC_EX_DIST_LABEL},
    {"SamplesLabel", IDC_EX_SAMPLES_LABEL},   {"SeedLabel", IDC_EX_SEED_LABEL},
    {"AcceptZoLabel", IDC_EX_ACCEPT_ZO_LABEL}, {"AcceptGainLabel", IDC_EX_ACCEPT_GAIN_LABEL},
    {"OpAmpLabel", IDC_EX_OPAMP_LABEL},       {"A0Label", IDC_EX_A0_LABEL},
    {"GbwLabel", IDC_EX_GBW_LABEL},           {"F2Label", IDC_EX_F2_LABEL},
    {"RoLabel", IDC_EX_RO_LABEL},             {"CloadLabel", IDC_EX_CLOAD_LABEL},
    {"EnLabel", IDC_EX_EN_LABEL},             {"InLabel", IDC_EX_IN_LABEL},
    {"VmaxLabel", IDC_EX_VMAX_LABEL},         {"ImaxLabel", IDC_EX_IMAX_LABEL},
    {"TempLabel", IDC_EX_TEMP_LABEL},
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

std::wstring ClassOf(HWND h) {
  wchar_t cls[64] = {};
  GetClassNameW(h, cls, 64);
  return cls;
}

BOOL CALLBACK DumpChild(HWND h, LPARAM lp) {
  const int n = ++*reinterpret_cast<int*>(lp);
  RECT r{};
  GetWindowRect(h, &r);
  std::printf("dialog.child%d=%s|%s|%d\n", n, Utf8(ClassOf(h)).c_str(), Escaped(Text(h)).c_str(),
              IsWindowVisible(h) ? 1 : 0);
  std::printf("dialog.child%d.rect=%ld %ld %ld %ld\n", n, r.left, r.top, r.right, r.bottom);
  return TRUE;
}

// 32-bit pixels of a w x h bitmap, top row first.
struct Pixels {
  int w = 0, h = 0;
  std::vector<std::uint32_t> data;
};

// Runs paint(dc) on a fresh w x h memory bitmap and returns what it drew.
template <typename Paint>
Pixels Render(int w, int h, Paint paint) {
  Pixels px;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (mem != nullptr && bmp != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(mem, bmp);
    paint(mem);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    px.w = w;
    px.h = h;
    px.data.assign(p, p + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    SelectObject(mem, old);
  }
  if (bmp != nullptr) DeleteObject(bmp);
  if (mem != nullptr) DeleteDC(mem);
  return px;
}

// Share of pixels (0..1) whose colour differs noticeably between a and b.
double Mismatch(const Pixels& a, const Pixels& b) {
  if (a.data.empty() || a.data.size() != b.data.size()) return 1.0;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.data.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int ca = static_cast<int>((a.data[i] >> shift) & 0xFF);
      const int cb = static_cast<int>((b.data[i] >> shift) & 0xFF);
      if (std::abs(ca - cb) > 24) {
        ++differing;
        break;
      }
    }
  }
  return static_cast<double>(differing) / static_cast<double>(a.data.size());
}

// Names the standard icon that the icon control `icon` shows on the screen:
// "stop", "warning", "information" or "question", or "unknown" when none of
// them matches closely.
const char* IconName(HWND icon) {
  RECT r{};
  GetClientRect(icon, &r);
  POINT origin{0, 0};
  ClientToScreen(icon, &origin);
  const int w = r.right, h = r.bottom;
  if (w <= 0 || h <= 0) return "unknown";
  const Pixels shown = Render(w, h, [&](HDC dc) {
    HDC screen = GetDC(nullptr);
    BitBlt(dc, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
  });
  if (shown.data.empty()) return "unknown";
  // The corner is background in every standard icon: draw the candidates on it.
  const std::uint32_t background = shown.data[0];
  const struct {
    const char* name;
    const wchar_t* id;
  } candidates[] = {{"stop", IDI_HAND}, {"warning", IDI_EXCLAMATION},
                    {"information", IDI_ASTERISK}, {"question", IDI_QUESTION}};
  const char* best = "unknown";
  double bestMismatch = 0.1;  // anything worse is no match
  for (const auto& c : candidates) {
    HICON candidate = LoadIconW(nullptr, c.id);
    const Pixels drawn = Render(w, h, [&](HDC dc) {
      HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF,
                                          background & 0xFF));
      RECT all{0, 0, w, h};
      FillRect(dc, &all, brush);
      DeleteObject(brush);
      DrawIconEx(dc, 0, 0, candidate, w, h, 0, nullptr, DI_NORMAL);
    });
    const double m = Mismatch(shown, drawn);
    if (m < bestMismatch) {
      bestMismatch = m;
      best = c.name;
    }
  }
  return best;
}

// The dialog's icon control: a static control with the SS_ICON style.
HWND FindIconControl(HWND dialog) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
    if (ClassOf(c) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c)) return c;
  }
  return nullptr;
}

// The visible drop-down list of this process, if one is open.
HWND OpenList(const std::vector<HWND>& others) {
  for (HWND h : others)
    if (ClassOf(h) == L"ComboLBox") return h;
  return nullptr;
}

// ---- Commands: each prints its facts and returns the exit code ----

int Clipboard() {
  if (!OpenClipboard(nullptr)) return 1;
  std::wstring text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  std::printf("clipboard.length=%zu\nclipboard=%s\n", text.size(), Escaped(text).c_str());
  return 0;
}

int ClearClipboard() {
  if (!OpenClipboard(nullptr)) return 1;
  const BOOL emptied = EmptyClipboard();
  CloseClipboard();
  return emptied ? 0 : 1;
}

// Signals the event `release` once a whole line has arrived on the standard
// input; an input that ends (or cannot be read) before that leaves it alone.
DWORD WINAPI AwaitInputLine(void* release) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char c = 0;
  DWORD got = 0;
  while (ReadFile(in, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') {
      SetEvent(static_cast<HANDLE>(release));
      break;
    }
  }
  return 0;
}

int HoldClipboard(const std::string& msText) {
  const long ms = std::strtol(msText.c_str(), nullptr, 10);
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (ms <= 0 || owner == nullptr || !OpenClipboard(owner)) return 1;
  const std::wstring text = L"keep-me";
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool stored = false;
  if (mem != nullptr && EmptyClipboard()) {
    if (void* p = GlobalLock(mem)) {
      std::memcpy(p, text.c_str(), bytes);
      GlobalUnlock(mem);
      stored = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
    }
  }
  if (!stored) {
    if (mem != nullptr) GlobalFree(mem);
    CloseClipboard();
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  // Keep answering messages while holding it, as a real program would: Wine
  // asks the clipboard's owner window before another program may open it.
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE reader = release != nullptr ? CreateThread(nullptr, 0, AwaitInputLine, release, 0, nullptr) : nullptr;
  const DWORD handles = reader != nullptr ? 1 : 0;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms);
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    if (MsgWaitForMultipleObjects(handles, &release, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT) ==
        WAIT_OBJECT_0 && handles == 1)
      break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  CloseClipboard();
  DestroyWindow(owner);
  // The reader may still wait for input: the process's end stops it.
  return 0;
}

// The whole text of a control, however long.
std::wstring LongText(HWND h) {
  const LRESULT n = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(h, WM_GETTEXT, w.size(), reinterpret_cast<LPARAM>(w.data()));
  w.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return w;
}

struct HelpWindows {
  DWORD pid;
  std::vector<HWND> found;
  const wchar_t* cls = L"TFormHelp";
};

BOOL CALLBACK CollectHelp(HWND h, LPARAM lp) {
  auto* w = reinterpret_cast<HelpWindows*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == w->pid && ClassOf(h) == w->cls) w->found.push_back(h);
  return TRUE;
}

// Prints the help.* facts; `active` is the active window of the program.
void HelpState(HWND main, DWORD pid, HWND active) {
  HelpWindows w{pid, {}};
  EnumWindows(CollectHelp, reinterpret_cast<LPARAM>(&w));
  std::printf("help.count=%zu\n", w.found.size());
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  std::printf("workarea=%ld %ld %ld %ld\n", work.left, work.top, work.right, work.bottom);
  if (w.found.empty()) return;
  HWND help = w.found[0];
  RECT r{}, cr{}, mr{};
  GetWindowRect(help, &r);
  GetClientRect(help, &cr);
  std::printf("help.visible=%d\n", IsWindowVisible(help) ? 1 : 0);
  HWND owner = GetWindow(help, GW_OWNER);
  std::printf("help.owner=%s\n", owner == main ? "main" : owner ? "other" : "none");
  std::printf("help.active=%d\n", active == help ? 1 : 0);
  std::printf("help.caption=%s\n", Escaped(Text(help)).c_str());
  std::printf("help.rect=%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  std::printf("help.client=%ldx%ld\n", cr.right, cr.bottom);
  MapWindowPoints(help, nullptr, reinterpret_cast<POINT*>(&cr), 2);
  std::printf("help.clientrect=%ld %ld %ld %ld\n", cr.left, cr.top, cr.right, cr.bottom);
  HWND memo = GetDlgItem(help, IDC_MEMO1);
  if (memo == nullptr) return;
  GetWindowRect(memo, &mr);
  std::printf("help.memorect=%ld %ld %ld %ld\n", mr.left, mr.top, mr.right, mr.bottom);
  std::printf("help.text=%s\n", Escaped(LongText(memo)).c_str());
}

// The explorer window of the program, or nullptr before it was first opened.
HWND Explorer(HWND main) {
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  HelpWindows w{pid, {}, L"TFormExplorer"};
  EnumWindows(CollectHelp, reinterpret_cast<LPARAM>(&w));
  return w.found.empty() ? nullptr : w.found[0];
}

// The explorer.* facts: whether it is there and shown, its page, the rows of
// its list, the texts of its tolerance page and the focused control.
void ExplorerState(HWND main, HWND focus, HWND active) {
  HWND ex = Explorer(main);
  std::printf("explorer.count=%d\n", ex != nullptr ? 1 : 0);
  if (ex == nullptr) return;
  std::printf("explorer.visible=%d\n", IsWindowVisible(ex) ? 1 : 0);
  std::printf("explorer.active=%d\n", active == ex ? 1 : 0);
  HWND owner = GetWindow(ex, GW_OWNER);
  std::printf("explorer.owner=%s\n", owner == main ? "main" : owner ? "other" : "none");
  std::printf("explorer.caption=%s\n", Escaped(Text(ex)).c_str());
  RECT r{};
  GetWindowRect(ex, &r);
  std::printf("explorer.rect=%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  std::printf("explorer.zoomed=%d\n", IsZoomed(ex) ? 1 : 0);
  std::printf("explorer.page=%d\n", static_cast<int>(SendMessageW(GetDlgItem(ex, IDC_EX_TAB), TCM_GETCURSEL, 0, 0)));
  HWND list = GetDlgItem(ex, IDC_EX_LIST);
  std::printf("explorer.rows=%d\n", static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
  std::printf("explorer.selected=%d\n",
              static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
  const char* focused = "other";
  for (const Named& c : kExplorerControls) {
    HWND h = GetDlgItem(ex, c.id);
    if (h == focus) focused = c.name;
    if (c.id == IDC_EX_FIGURES || c.id == IDC_EX_FREQ_FIGURES) {
      std::printf("explorer.text.%s=%s\n", c.name, Escaped(LongText(h)).c_str());
    } else {
      std::printf("explorer.text.%s=%s\n", c.name, Escaped(Text(h)).c_str());
    }
    std::printf("explorer.enabled.%s=%d\n", c.name, IsWindowEnabled(h) ? 1 : 0);
    std::printf("explorer.shown.%s=%d\n", c.name, IsWindowVisible(h) ? 1 : 0);
  }
  std::printf("explorer.focus=%s\n", focused);
}

// The screen rectangle of row N of the explorer's list: the rows follow the
// header, each (client height - header) / rows per page tall.
int ExplorerRow(HWND main, const std::string& indexText) {
  HWND ex = Explorer(main);
  if (ex == nullptr) return 1;
  HWND list = GetDlgItem(ex, IDC_EX_LIST);
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const long index = std::strtol(indexText.c_str(), nullptr, 10);
  const auto perPage = static_cast<long>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
  RECT client{}, head{};
  GetClientRect(list, &client);
  GetWindowRect(header, &head);
  MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&head), 2);
  if (perPage <= 0 || index < 0) return 1;
  const long rowHeight = (client.bottom - head.bottom) / perPage;
  RECT row{client.left, head.bottom + index * rowHeight, client.right, head.bottom + (index + 1) * rowHeight};
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&row), 2);
  std::printf("%ld %ld %ld %ld\n", row.left, row.top, row.right, row.bottom);
  return 0;
}

// The screen rectangle of tab N of the explorer's tab strip, read through a
// buffer in the program's memory (the strip writes its answer there).
int ExplorerTab(HWND main, const std::string& indexText) {
  HWND ex = Explorer(main);
  if (ex == nullptr) return 1;
  HWND tabs = GetDlgItem(ex, IDC_EX_TAB);
  DWORD pid = 0;
  GetWindowThreadProcessId(tabs, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return 1;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
  RECT item{};
  SIZE_T read = 0;
  const long index = std::strtol(indexText.c_str(), nullptr, 10);
  const bool ok = remote != nullptr &&
                  SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote)) &&
                  ReadProcessMemory(process, remote, &item, sizeof item, &read) && read == sizeof item;
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  if (!ok) return 1;
  MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&item), 2);
  std::printf("%ld %ld %ld %ld\n", item.left, item.top, item.right, item.bottom);
  return 0;
}

std::vector<HWND> OtherWindows(HWND main) {
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  Windows w{pid, main, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&w));
  return w.others;
}

int ListItem(HWND main, const std::string& indexText) {
  HWND list = OpenList(OtherWindows(main));
  const long index = std::strtol(indexText.c_str(), nullptr, 10);
  RECT item{};
  if (list == nullptr || index < 0 ||
      SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
    return 1;
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
  std::printf("%ld %ld %ld %ld\n", item.left, item.top, item.right, item.bottom);
  return 0;
}

int ControlRect(HWND main, const std::string& name) {
  if (name.rfind("ex.", 0) == 0) {
    HWND ex = Explorer(main);
    for (const Named& c : kExplorerControls) {
      if (ex == nullptr || name.substr(3) != c.name) continue;
      RECT r{};
      GetWindowRect(GetDlgItem(ex, c.id), &r);
      std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
      return 0;
    }
    return 1;
  }
  for (const Named& c : kControls) {
    if (name == c.name) {
      RECT r{};
      GetWindowRect(GetDlgItem(main, c.id), &r);
      std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
      return 0;
    }
  }
  return 1;
}

int State(HWND main) {
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
  HelpState(main, pid, gti.hwndActive);
  ExplorerState(main, gti.hwndFocus, gti.hwndActive);
  for (const Named& c : kControls) {
    HWND h = GetDlgItem(main, c.id);
    std::printf("text.%s=%s\n", c.name, Escaped(Text(h)).c_str());
    std::printf("enabled.%s=%d\n", c.name, IsWindowEnabled(h) ? 1 : 0);
  }
  for (HWND h : OtherWindows(main)) {
    const std::wstring cls = ClassOf(h);
    if (cls == L"TFormExplorer") continue;  // the explorer.* facts
    if (cls == L"tooltips_class32") {
      std::printf("tooltip=%s\n", Escaped(LongText(h)).c_str());
      continue;
    }
    RECT r{};
    GetWindowRect(h, &r);
    std::printf("dialog.class=%s\n", Utf8(cls).c_str());
    std::printf("dialog.caption=%s\n", Escaped(Text(h)).c_str());
    std::printf("dialog.rect=%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    HWND icon = FindIconControl(h);
    std::printf("dialog.icon=%s\n", icon != nullptr ? IconName(icon) : "none");
    int n = 0;
    EnumChildWindows(h, DumpChild, reinterpret_cast<LPARAM>(&n));
  }
  return 0;
}

// The window or control called `name`: a main-window control, "main", or the
// help window ("help") and its text box ("Memo1").
HWND FindNamed(HWND main, const std::string& name) {
  if (name == "main") return main;
  if (name == "help" || name == "Memo1") {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HelpWindows w{pid, {}};
    EnumWindows(CollectHelp, reinterpret_cast<LPARAM>(&w));
    if (w.found.empty()) return nullptr;
    return name == "help" ? w.found[0] : GetDlgItem(w.found[0], IDC_MEMO1);
  }
  if (name.rfind("ex.", 0) == 0) {
    HWND ex = Explorer(main);
    for (const Named& c : kExplorerControls)
      if (ex != nullptr && name.substr(3) == c.name) return GetDlgItem(ex, c.id);
    return nullptr;
  }
  for (const Named& c : kControls)
    if (name == c.name) return GetDlgItem(main, c.id);
  return nullptr;
}

// The program's description of a control's font, "FACE|HEIGHT|WEIGHT|ITALIC|
// UNDERLINE|CHARSET", asked of its top-level window; empty when it gives none.
std::wstring FontDescription(HWND control) {
  HWND top = GetAncestor(control, GA_ROOT);
  const auto atom = static_cast<ATOM>(SendMessageW(top, velmora::common::FontQueryMessage(),
                                                   reinterpret_cast<WPARAM>(control), 0));
  if (atom == 0) return {};
  wchar_t description[256] = {};
  const UINT n = GlobalGetAtomNameW(atom, description, static_cast<int>(std::size(description)));
  GlobalDeleteAtom(atom);
  return std::wstring(description, n);
}

int Font(HWND main, const std::string& name) {
  HWND control = FindNamed(main, name);
  if (control == nullptr) return 1;
  const std::wstring description = FontDescription(control);
  if (description.empty()) return 1;
  std::printf("font=%s\n", Utf8(description).c_str());
  return 0;
}

// The font a control uses, made anew in this process from the program's
// description (font handles do not cross processes); nullptr when unknown.
// The caller deletes it.
HFONT MakeFontOf(HWND control) {
  const std::wstring description = FontDescription(control);
  std::vector<std::wstring> fields(1);
  for (wchar_t c : description) {
    if (c == L'|') fields.emplace_back();
    else fields.back() += c;
  }
  if (fields.size() != 6 || fields[0].empty() || fields[0].size() >= LF_FACESIZE) return nullptr;
  LOGFONTW lf{};
  fields[0].copy(lf.lfFaceName, fields[0].size());
  lf.lfHeight = std::wcstol(fields[1].c_str(), nullptr, 10);
  lf.lfWeight = std::wcstol(fields[2].c_str(), nullptr, 10);
  lf.lfItalic = static_cast<BYTE>(std::wcstol(fields[3].c_str(), nullptr, 10));
  lf.lfUnderline = static_cast<BYTE>(std::wcstol(fields[4].c_str(), nullptr, 10));
  lf.lfCharSet = static_cast<BYTE>(std::wcstol(fields[5].c_str(), nullptr, 10));
  return CreateFontIndirectW(&lf);
}

// "WIDTH HEIGHT" of `text` drawn on one line in the font of `control`, with
// "&" read as a static control or button reads it; empty when the font is unknown.
std::string TextSize(HWND control, const std::wstring& text) {
  HFONT font = MakeFontOf(control);
  if (font == nullptr) return {};
  const std::wstring cls = ClassOf(control);
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  const bool prefix = cls == L"Button" || (cls == L"Static" && (style & SS_NOPREFIX) == 0);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT extent{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_SINGLELINE | (prefix ? 0U : static_cast<UINT>(DT_NOPREFIX)));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return std::to_string(extent.right - extent.left) + " " + std::to_string(extent.bottom - extent.top);
}

// The name of the explorer's control `id` (as in "ex." + name), or "idN".
std::string ExplorerName(int id) {
  for (const Named& c : kExplorerControls)
    if (c.id == id) return c.name;
  for (const Named& c : kExplorerLabels)
    if (c.id == id) return c.name;
  return "id" + std::to_string(id);
}

int ExplorerControls(HWND main) {
  HWND ex = Explorer(main);
  if (ex == nullptr) return 1;
  RECT client{};
  GetClientRect(ex, &client);
  std::printf("excontrols.client=%ld %ld %ld %ld\n", client.left, client.top, client.right, client.bottom);
  int n = 0;
  for (HWND c = GetWindow(ex, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    ++n;
    const std::wstring text = LongText(c);
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, ex, reinterpret_cast<POINT*>(&r), 2);
    std::printf("excontrol%d=%s|%s|%d|%s\n", n, ExplorerName(GetDlgCtrlID(c)).c_str(), Utf8(ClassOf(c)).c_str(),
                IsWindowVisible(c) ? 1 : 0, Escaped(text).c_str());
    std::printf("excontrol%d.rect=%ld %ld %ld %ld\n", n, r.left, r.top, r.right, r.bottom);
    std::printf("excontrol%d.textsize=%s\n", n, TextSize(c, text).c_str());
  }
  return 0;
}

// What the screen shows in the rectangle r (screen coordinates).
Pixels Screen(const RECT& r) {
  return Render(r.right - r.left, r.bottom - r.top, [&](HDC dc) {
    HDC screen = GetDC(nullptr);
    BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
  });
}

int Channel(std::uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

// True when the pixel differs from the colour `ref` (a COLORREF) by more than
// `limit` in a channel.
bool Differs(std::uint32_t pixel, COLORREF ref, int limit) {
  return std::abs(Channel(pixel, 16) - GetRValue(ref)) > limit ||
         std::abs(Channel(pixel, 8) - GetGValue(ref)) > limit ||
         std::abs(Channel(pixel, 0) - GetBValue(ref)) > limit;
}

int Ink(HWND main, const std::string& name) {
  HWND control = FindNamed(main, name);
  RECT r{};
  if (control == nullptr || !GetWindowRect(control, &r)) return 1;
  const Pixels px = Screen(r);
  if (px.data.empty()) return 1;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::size_t ink = 0, coloured = 0;
  for (std::uint32_t p : px.data) {
    if (!Differs(p, face, 24)) continue;
    ++ink;
    const int red = Channel(p, 16), green = Channel(p, 8), blue = Channel(p, 0);
    const int high = std::max(red, std::max(green, blue)), low = std::min(red, std::min(green, blue));
    if (high - low > 64) ++coloured;
  }
  std::printf("ink.pixels=%zu\nink.coloured=%zu\n", ink, coloured);
  return 0;
}

int HelpGlyphs(HWND main, const std::string& countText) {
  HWND memo = FindNamed(main, "Memo1");
  const long count = std::strtol(countText.c_str(), nullptr, 10);
  if (memo == nullptr || !IsWindowVisible(memo) || count <= 0) return 1;
  const std::wstring text = LongText(memo);
  const std::size_t lineEnd = text.find(L'\r');
  if (lineEnd == std::wstring::npos || static_cast<std::size_t>(count) >= lineEnd) return 1;
  // A cell runs from a character's left edge to the next one's, and from its
  // line's top to the next line's.
  auto at = [&](std::size_t index) {
    const LRESULT p = SendMessageW(memo, EM_POSFROMCHAR, index, 0);
    POINT pt{static_cast<short>(LOWORD(p)), static_cast<short>(HIWORD(p))};
    ClientToScreen(memo, &pt);
    return pt;
  };
  const LONG bottom = at(lineEnd + 2).y;
  const COLORREF paper = GetSysColor(COLOR_WINDOW);
  std::set<std::vector<int>> shapes;
  int inked = 0;
  for (long i = 0; i < count; ++i) {
    const POINT from = at(static_cast<std::size_t>(i)), to = at(static_cast<std::size_t>(i) + 1);
    const RECT cell{from.x, from.y, to.x, bottom};
    if (cell.right <= cell.left || cell.bottom <= cell.top) return 1;
    const Pixels px = Screen(cell);
    std::vector<int> shape{px.w};  // cells of different widths never compare equal
    bool any = false;
    for (std::uint32_t p : px.data) {
      shape.push_back(Differs(p, paper, 96) ? 1 : 0);
      any = any || shape.back() != 0;
    }
    inked += any ? 1 : 0;
    shapes.insert(shape);
  }
  std::printf("glyphs.inked=%d\nglyphs.distinct=%zu\n", inked, shapes.size());
  return 0;
}

// Runs one command (words[0], default "state"); 2 when there is no main window.
int Run(const std::vector<std::string>& words) {
  const std::string command = words.empty() ? "state" : words[0];
  const std::string arg = words.size() >= 2 ? words[1] : std::string();
  if (command == "holdclipboard" && words.size() >= 2) return HoldClipboard(arg);
  HWND main = FindWindowW(L"TFormMain", nullptr);
  if (main == nullptr) {
    std::printf("main=none\n");
    return 2;
  }
  if (command == "state") return State(main);
  if (command == "clipboard") return Clipboard();
  if (command == "clearclipboard") return ClearClipboard();
  if (command == "listitem" && words.size() >= 2) return ListItem(main, arg);
  if (command == "rect" && words.size() >= 2) return ControlRect(main, arg);
  if (command == "exrow" && words.size() >= 2) return ExplorerRow(main, arg);
  if (command == "extab" && words.size() >= 2) return ExplorerTab(main, arg);
  if (command == "excontrols") return ExplorerControls(main);
  if (command == "font" && words.size() >= 2) return Font(main, arg);
  if (command == "ink" && words.size() >= 2) return Ink(main, arg);
  if (command == "helpglyphs" && words.size() >= 2) return HelpGlyphs(main, arg);
  std::printf("unknown command\n");
  return 3;
}

// Answers one command per input line, each answer closed by "end=CODE", until
// the input ends. Saves starting a program for every look at the window.
int Serve() {
  char line[1024];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = line; *p != '\0'; ++p) {
      if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
        if (!word.empty()) words.push_back(word);
        word.clear();
      } else {
        word += *p;
      }
    }
    if (!word.empty()) words.push_back(word);
    const int code = Run(words);
    std::printf("end=%d\n", code);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(Utf8(argv[i]));
  if (!words.empty() && words[0] == "serve") return Serve();
  return Run(words);
}
