// Time from Enter in the first box until the six result boxes are filled,
// measured inside the real main window (Windows program; runs under Wine).
// Prints the median and the 90th percentile over many presses.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "main/main_window.h"
#include "main/win/form_main.h"
#include "main/report.h"
#include "common/numtext.h"

int wmain() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  namespace control = velmora::main::control;
  velmora::main::TFormMain form;
  if (!form.Create(instance, {})) return 1;
  form.Show(SW_SHOWNOACTIVATE);
  HWND edit = GetDlgItem(form.Handle(), control::EditZo);
  HWND result = GetDlgItem(form.Handle(), control::EditDecr);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  std::vector<double> micros;
  for (int i = 0; i < 2000; ++i) {
    SetWindowTextW(result, L"");
    SetFocus(edit);
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    // What the message loop delivers for one Enter: the key-down, then the
    // carriage return that TranslateMessage derived from it.
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    SendMessageW(edit, WM_CHAR, L'\r', 0x001C0001);
    QueryPerformanceCounter(&t1);
    if (GetWindowTextLengthW(result) == 0) {
      std::fprintf(stderr, "the result boxes were not filled\n");
      return 1;
    }
    micros.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 /
                     static_cast<double>(freq.QuadPart));
  }
  std::vector<double> calc;
  for (int i = 0; i < 2000; ++i) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    form.Calculate();
    QueryPerformanceCounter(&t1);
    calc.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 / static_cast<double>(freq.QuadPart));
  }
  {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    velmora::main::DesignState st;
    for (int i = 0; i < 1000; ++i) {
      velmora::main::SolveDesign(velmora::common::StrToValue(u"0.0"), 600, 10000, 10000, 68, 24, st);
      velmora::main::ComposeResults(st);
    }
    QueryPerformanceCounter(&t1);
    std::printf("core alone: %.2f us\n", static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e3 / static_cast<double>(freq.QuadPart));
  }
  std::sort(calc.begin(), calc.end());
  std::printf("Calculate alone: median %.1f us\n", calc[calc.size() / 2]);
  std::sort(micros.begin(), micros.end());
  std::printf("Enter to six filled boxes: median %.1f us, p90 %.1f us, min %.1f us (%zu presses)\n",
              micros[micros.size() / 2], micros[micros.size() * 9 / 10], micros.front(),
              micros.size());
  return 0;
}
