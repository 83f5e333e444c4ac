// The main window: inputs, series selector, result boxes, schematic, commands.
// It knows no other window: what it asks of the program around it (show the
// help, say that it calculated) and the commands the program adds to its
// window menu come in through Links and AddMenuCommand.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win/base_window.h"
#include "common/win/handles.h"
#include "main/design.h"
#include "main/main_window.h"

namespace velmora::main {

class TFormMain : public common::BaseWindow<TFormMain> {
 public:
  static constexpr const wchar_t* kClassName = L"TFormMain";

  // What the window asks of the program around it.
  struct Links {
    std::function<void()> showHelp;  // the Help link was clicked
    // After every Calculate, however it ended (a fault included); must not throw.
    std::function<void()> calculated;
  };

  TFormMain() = default;
  ~TFormMain();

  // Creates the window hidden, centred on the screen, with its controls.
  bool Create(HINSTANCE instance, Links links);
  // Shows the window and puts the focus in the first input box.
  void Show(int showCommand);

  // Adds an entry to the window menu, below the window's own; choosing it
  // runs `run` (an error that escapes it goes to the error box).
  void AddMenuCommand(std::u16string_view text, std::function<void()> run);

  // The inputs of the last Calculate; nullopt before the first.
  const std::optional<DesignInputs>& LastCalculation() const { return calculated_; }
  // Puts series `er` into the selector as its list shows it (no series as
  // "∞") and calculates, as after a choice from the list.
  void ChooseSeries(std::int32_t er);

  // Messages the window leaves alone go to the dialog manager, which moves
  // the focus between the controls.
  static LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcW(hwnd, msg, wParam, lParam);
  }

  // The pieces of the Calculate command, public for the tests that drive the
  // window in-process.
  void Calculate();
  std::u16string MakeReport() const;

 private:
  friend class common::BaseWindow<TFormMain>;
  static LRESULT CALLBACK BoxSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  // Message handlers.
  void OnCreate();
  void OnCommand(int id, int code);
  void OnPaint();
  void OnGetMinMaxInfo(MINMAXINFO* info);
  bool OnSetCursor(HWND over);
  void OnSettingChange();
  void OnInitSystemMenu(HMENU menu);
  bool OnSysCommand(UINT command);  // true when the command was the program's own
  void OnDestroy();

  // Window set-up.
  void CreateControls();
  void FillSeriesList(HWND combo);
  void FormCreate();
  void LoadSchematic();
  void AddHints();

  // Event handlers of the controls.
  void ButtonCalcClick();
  void ButtonPrintClick();
  void ButtonCopyClick();
  void ButtonExitClick();
  void SaveNetlist();
  void ComboBoxERChange();
  void ComboBoxERChosen();
  void LabelHelpClick();
  void EditZoKeyDown(WORD& key);
  void FocusKeyDown(WORD& key);
  void EditZoKeyPress(wchar_t& key);

  // The Calculate command's parts.
  void ReadSeries();
  void ShowResults();
  void ClearResults();
  void Warn(std::u16string_view text);

  // The control with the given id; looked up once, at creation (asking the
  // window system each time costs a server round trip under Wine).
  HWND Item(int id) const;
  std::u16string Text(int id) const;
  void SetText(int id, std::u16string_view text);

  HINSTANCE instance_ = nullptr;
  Links links_;
  HWND tooltip_ = nullptr;
  common::UniqueFont font_;
  common::UniqueBitmap schematic_;
  POINT maxTrackSize_{0, 0};  // outer size fixed by FormCreate
  // While the selector reports a choice from its list, its edit text is still
  // the old one; the chosen entry's text is kept here for ReadSeries.
  std::optional<std::u16string> chosenSeries_;
  // The selector's text as last read or written by the program, so that a
  // notification without a change of text calculates nothing.
  std::u16string seriesText_;
  DesignState design_;
  std::optional<DesignInputs> calculated_;  // the inputs of the last Calculate
  // The program's entries of the window menu, by command id.
  std::vector<std::function<void()>> menuCommands_;
  std::array<HWND, control::kCount> items_{};  // by control id - control::kFirst
};

}  // namespace velmora::main
