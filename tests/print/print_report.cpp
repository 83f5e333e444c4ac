// print_report: prints the report of the default design through the real
// print service, for tests/print/run_print_test.sh.
//
//   print_report print [PRINTER]
//       Prints on PRINTER, or on the system's default printer, with no
//       dialog. The report is written to stdout (UTF-8, LF line ends), the
//       printer's metrics, the time the print call took (wall clock and
//       the process's processor time) and the longest time in it without a
//       window message handled ("print_report: printed in N ms (processor
//       C ms), messages waited at most M ms") to stderr. Fails when the printer's font or text
//       colour differs afterwards.
//   print_report longline LENGTH [PRINTER]
//       The same with the Zo box holding "600" followed by spaces up to
//       LENGTH characters: one very long report line.
//   print_report dialog DEFAULT OTHER
//       Runs the Print command's path with its dialog, driven by a timer:
//         1. the dialog first shows DEFAULT; OTHER is chosen and confirmed,
//            and a second print is asked for while the job is handed over;
//         2. the dialog shows OTHER again and is cancelled;
//         3. the dialog still shows OTHER and is confirmed.
//       Each dialog must open owned by the window, at its placement on the
//       active window's monitor. Writes one "ok: ..." or "FAIL: ..." line
//       per check; the exit status is the number of failures. Afterwards
//       OTHER must have received two jobs and DEFAULT none.
#include <windows.h>

#include <commdlg.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/numtext.h"
#include "common/print_layout.h"
#include "common/utf.h"
#include "common/win/message_dialog.h"
#include "common/win/print_text.h"
#include "main/design.h"
#include "main/report.h"
#include "main/series_text.h"

namespace {

namespace vc = velmora::common;
namespace vm = velmora::main;

constexpr UINT kNestedPrint = WM_APP + 1;
constexpr int kPrinterCombo = 0x473;  // the printer name box of the print dialog
constexpr DWORD kGiveUpMs = 30000;

// The report of the default design; `zo` replaces the Zo box's text when
// it is not empty (it must still read as 600).
std::u16string DefaultReport(std::u16string_view zo = {}) {
  vm::ReportSource src = vm::InitialWindowTexts();
  if (!zo.empty()) src.EditZo = zo;
  vm::DesignState state;
  const vm::DesignOutcome outcome =
      vm::SolveDesign(vc::StrToValue(src.EditGain), vc::StrToValue(src.EditZo), vc::StrToValue(src.EditR1),
                      vc::StrToValue(src.EditR3), vc::StrToValue(src.EditR5), vm::StrToIntOrZero(u"24"), state);
  if (outcome != vm::DesignOutcome::Success) throw std::runtime_error("the default design failed");
  vm::PutResults(src, vm::ComposeResults(state));
  return vm::MakeReport(src);
}

std::string Utf8(std::wstring_view w) { return vc::Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

void WriteReport(const std::u16string& report) {
  std::u16string lf;
  for (char16_t c : report)
    if (c != u'\r') lf.push_back(c);
  const std::string bytes = vc::Utf16ToUtf8(lf);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

// ---- print ----

HDC OpenPrinter(const wchar_t* name) {
  if (name != nullptr) return CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
  PRINTDLGW pd{};
  pd.lStructSize = sizeof pd;
  pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
  if (!PrintDlgW(&pd)) {
    std::fprintf(stderr, "print_report: no default printer (error 0x%lx)\n", CommDlgExtendedError());
    return nullptr;
  }
  if (pd.hDevMode) GlobalFree(pd.hDevMode);
  if (pd.hDevNames) GlobalFree(pd.hDevNames);
  return pd.hDC;
}

// A thread timer ticking while a job is printed: the longest time between
// handled window messages.
struct Responsiveness {
  bool printing = false;
  LARGE_INTEGER last{};
  LONGLONG longest = 0;
  void Tick() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (printing) longest = std::max(longest, now.QuadPart - last.QuadPart);
    last = now;
  }
};
Responsiveness g_responsiveness;

void CALLBACK TimerTick(HWND, UINT, UINT_PTR, DWORD) { g_responsiveness.Tick(); }

// User and kernel time of this process so far, in 100 ns units.
ULONGLONG ProcessorTime() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return ticks(kernel) + ticks(user);
}

int PrintWithoutDialog(const wchar_t* printer, const std::u16string& report) {
  HDC dc = OpenPrinter(printer);
  if (dc == nullptr) return 2;
  const POINT offset = vc::PrinterPhysicalOffset(dc);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  const vc::DevicePoint origin = vc::PrintOrigin(dpi, {offset.x, offset.y});
  std::fprintf(stderr, "print_report: %d dpi, printable %dx%d, offset %ld,%ld, origin %d,%d\n", dpi,
               GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), offset.x, offset.y, origin.x,
               origin.y);
  const HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
  const COLORREF colourBefore = GetTextColor(dc);
  int status = 0;
  try {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, TimerTick);
    g_responsiveness.Tick();
    const LARGE_INTEGER start = g_responsiveness.last;
    const ULONGLONG processorStart = ProcessorTime();
    g_responsiveness.printing = true;
    vc::PrintTextOn(dc, report);
    const ULONGLONG processor = ProcessorTime() - processorStart;
    g_responsiveness.Tick();
    g_responsiveness.printing = false;
    KillTimer(nullptr, timer);
    std::fprintf(stderr, "print_report: printed in %lld ms (processor %llu ms), messages waited at most %lld ms\n",
                 (g_responsiveness.last.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart,
                 processor / 10000, g_responsiveness.longest * 1000 / frequency.QuadPart);
    WriteReport(report);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "print_report: %s\n", e.what());
    status = 1;
  }
  if (GetCurrentObject(dc, OBJ_FONT) != fontBefore || GetTextColor(dc) != colourBefore) {
    std::fprintf(stderr, "print_report: the printer's font or text colour was not put back\n");
    status = 1;
  }
  DeleteDC(dc);
  return status;
}

// ---- dialog ----

struct DialogRun {
  std::wstring defaultPrinter, otherPrinter;
  HWND window = nullptr;
  int step = 0;            // which dialog is expected next: 1, 2, 3, then 4 (nested)
  bool inOuterJob = false;
  bool nestedRan = false;
  bool nestedDuringJob = false;
  std::string nestedError;
  HWND lastDialog = nullptr;
  DWORD start = 0;
  bool gaveUp = false;
  int failures = 0;
};
DialogRun g_run;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_run.failures;
}

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[256] = {};
  GetDlgItemTextW(dialog, id, text, 256);
  return text;
}

// The open print dialog of this thread, if any.
HWND FindPrintDialog() {
  struct Found {
    HWND dialog = nullptr;
  } found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM p) -> BOOL {
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (IsWindowVisible(w) && std::wstring(cls) == L"#32770" && GetDlgItem(w, kPrinterCombo)) {
          reinterpret_cast<Found*>(p)->dialog = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.dialog;
}

void CheckPlacement(HWND dialog, const std::string& step) {
  RECT r{};
  GetWindowRect(dialog, &r);
  const RECT a = vc::MonitorWorkArea(g_run.window);
  const vc::ScreenPoint want =
      vc::PrintDialogPosition({a.left, a.top, a.right, a.bottom}, r.right - r.left, r.bottom - r.top);
  Check(r.left == want.x && r.top == want.y,
        step + ": dialog at " + std::to_string(r.left) + "," + std::to_string(r.top) + " (want " +
            std::to_string(want.x) + "," + std::to_string(want.y) + ")");
  Check(GetWindow(dialog, GW_OWNER) == g_run.window, step + ": dialog owned by the window");
}

void ChoosePrinter(HWND dialog, const std::wstring& name) {
  HWND combo = GetDlgItem(dialog, kPrinterCombo);
  SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kPrinterCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Press(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void CALLBACK DriveDialogs(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindPrintDialog();
  if (GetTickCount() - g_run.start > kGiveUpMs) {
    // Whatever is open (a print dialog or a message about it) is closed.
    if (!g_run.gaveUp) Check(false, "gave up waiting at step " + std::to_string(g_run.step));
    g_run.gaveUp = true;
    HWND open = GetActiveWindow();
    if (open != nullptr && open != g_run.window) PostMessageW(open, WM_CLOSE, 0, 0);
    return;
  }
  if (dialog == nullptr || dialog == g_run.lastDialog) return;
  g_run.lastDialog = dialog;
  const std::string step = "dialog " + std::to_string(g_run.step);
  const std::wstring shown = ItemText(dialog, kPrinterCombo);
  switch (g_run.step) {
    case 1:
      CheckPlacement(dialog, step);
      Check(shown == g_run.defaultPrinter, step + ": first shows the default printer (" + Utf8(shown) + ")");
      ChoosePrinter(dialog, g_run.otherPrinter);
      Check(ItemText(dialog, kPrinterCombo) == g_run.otherPrinter, step + ": " + Utf8(g_run.otherPrinter) + " chosen");
      Press(dialog, IDOK);
      // Handled while the confirmed job is being handed over.
      PostMessageW(g_run.window, kNestedPrint, 0, 0);
      break;
    case 2:
      CheckPlacement(dialog, step);
      Check(shown == g_run.otherPrinter, step + ": shows the previous choice (" + Utf8(shown) + ")");
      Press(dialog, IDCANCEL);
      break;
    case 3:
      CheckPlacement(dialog, step);
      Check(shown == g_run.otherPrinter, step + ": cancel kept the choice (" + Utf8(shown) + ")");
      Press(dialog, IDOK);
      break;
    default:  // the nested print's dialog
      Press(dialog, IDOK);
      break;
  }
}

LRESULT CALLBACK TestWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kNestedPrint) {
    g_run.nestedRan = true;
    g_run.nestedDuringJob = g_run.inOuterJob;
    const int saved = g_run.step;
    g_run.step = 4;
    try {
      vc::PrintText(w, DefaultReport());
      g_run.nestedError = "(none)";
    } catch (const std::exception& e) {
      g_run.nestedError = e.what();
    }
    g_run.step = saved;
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

// One press of the Print button: returns the error text, empty when none.
std::string PrintOnce(int step) {
  g_run.step = step;
  g_run.inOuterJob = true;
  const HWND before = g_run.lastDialog;
  std::string error;
  try {
    vc::PrintText(g_run.window, DefaultReport());
  } catch (const std::exception& e) {
    error = e.what();
  }
  g_run.inOuterJob = false;
  Check(g_run.lastDialog != before, "dialog " + std::to_string(step) + " was shown");
  return error;
}

int DriveDialog(const wchar_t* defaultPrinter, const wchar_t* otherPrinter) {
  g_run.defaultPrinter = defaultPrinter;
  g_run.otherPrinter = otherPrinter;
  WNDCLASSW wc{};
  wc.lpfnWndProc = TestWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VelmoraPrintTest";
  RegisterClassW(&wc);
  g_run.window = CreateWindowExW(0, wc.lpszClassName, L"Velmora print test", WS_OVERLAPPEDWINDOW, 120, 80,
                                 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (g_run.window == nullptr) {
    Check(false, "the test window could not be created (no display?)");
    return g_run.failures;
  }
  ShowWindow(g_run.window, SW_SHOW);
  SetForegroundWindow(g_run.window);
  SetActiveWindow(g_run.window);
  g_run.start = GetTickCount();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveDialogs);

  std::string error = PrintOnce(1);
  Check(error.empty(), "confirmed print: no error (" + error + ")");
  Check(vc::CurrentPrinter().DeviceName() == g_run.otherPrinter, "the confirmed printer became current");
  // The nested request may still be queued if nothing dispatched it during the job.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  Check(g_run.nestedRan && g_run.nestedDuringJob, "a Print handled during the job");
  Check(g_run.nestedError == "Printing in progress", "second job refused: " + g_run.nestedError);

  error = PrintOnce(2);
  Check(error.empty(), "cancelled print: no error (" + error + ")");
  Check(vc::CurrentPrinter().DeviceName() == g_run.otherPrinter, "cancel kept the current printer");

  error = PrintOnce(3);
  Check(error.empty(), "second confirmed print: no error (" + error + ")");

  KillTimer(nullptr, timer);
  DestroyWindow(g_run.window);
  return g_run.failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"print" && argc <= 3) return PrintWithoutDialog(argc == 3 ? argv[2] : nullptr, DefaultReport());
  if (mode == L"longline" && (argc == 3 || argc == 4)) {
    const long length = std::wcstol(argv[2], nullptr, 10);
    if (length < 3) return 2;
    std::u16string zo(static_cast<std::size_t>(length), u' ');
    zo.replace(0, 3, u"600");
    return PrintWithoutDialog(argc == 4 ? argv[3] : nullptr, DefaultReport(zo));
  }
  if (mode == L"dialog" && argc == 4) return DriveDialog(argv[2], argv[3]);
  std::fprintf(stderr, "usage: print_report print [PRINTER] | longline LENGTH [PRINTER] | dialog DEFAULT OTHER\n");
  return 2;
}
