// The main window: inputs, series selector, result boxes, schematic, commands.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "common/win/base_window.h"
#include "common/win/handles.h"
#include "explore/explorer.h"
#include "explore/win/form_explorer.h"
#include "main/design.h"

namespace velmora::help {
class TFormHelp;
}

namespace velmora::main {

class TFormMain : public common::BaseWindow<TFormMain> {
 public:
  static constexpr const wchar_t* kClassName = L"TFormMain";

  TFormMain() = default;
  ~TFormMain();

  // Creates the window hidden, centred on the screen, with its controls.
  bool Create(HINSTANCE instance, velmora::help::TFormHelp* help);
  // Shows the window and puts the focus in the first input box.
  void Show(int showCommand);

  // Messages the window leaves alone go to the dialog manager, which moves
  // the focus between the controls.
  static LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcW(hwnd, msg, wParam, lParam);
  }

  // The pieces of the Calculate command, public for the tests that drive the
  // window in-process.
  void Calculate();
  std::u16string MakeReport() const;

  // The explorer window's shortcut keys (Ctrl+E every series, Ctrl+L
  // tolerance) and its keyboard navigation, for a message of the event loop
  // before it is dispatched; true when the message was used.
  bool PreTranslateMessage(MSG& msg);

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
  void FormCreate();
  void LoadSchematic();
  void AddHints();
  void AddSystemMenuEntries();
  void OpenExplorer(explore::TFormExplorer::Page page);
  void ChooseSeries(std::int32_t er);

  // Event handlers of the controls.
  void ButtonCalcClick();
  void ButtonPrintClick();
  void ButtonCopyClick();
  void ButtonExitClick();
  void SaveNetlist();
  void ComboBoxERChange();
  void LabelHelpClick();
  void EditZoKeyDown(WORD& key);
  void FocusKeyDown(WORD& key);
  void EditZoKeyPress(wchar_t& key);

  // The Calculate command's parts.
  void ReadSeries();
  void ShowResults();
  void ClearResults();
  void Warn(UINT textId);

  // The control with the given id; looked up once, at creation (asking the
  // window system each time costs a server round trip under Wine).
  HWND Item(int id) const;
  std::u16string Text(int id) const;
  void SetText(int id, std::u16string_view text);
  std::wstring LoadText(UINT id) const;

  HINSTANCE instance_ = nullptr;
  HWND tooltip_ = nullptr;
  common::UniqueFont font_;
  common::UniqueBitmap schematic_;
  POINT maxTrackSize_{0, 0};  // outer size fixed by FormCreate
  velmora::help::TFormHelp* help_ = nullptr;
  // While the selector reports a choice from its list, its edit text is still
  // the old one; the chosen entry's text is kept here for ReadSeries.
  std::optional<std::u16string> chosenSeries_;
  // The selector's text as last read or written by the program, so that a
  // notification without a change of text calculates nothing.
  std::u16string seriesText_;
  DesignState design_;
  // The inputs of the last Calculate, which the explorer window follows.
  std::optional<DesignInputs> calculated_;
  explore::TFormExplorer explorer_;
  static constexpr int kFirstId = 100;
  std::array<HWND, 48> items_{};  // by control id - kFirstId
};

}  // namespace velmora::main
