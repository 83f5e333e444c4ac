// A page of the explorer window: its controls, children of the window, as a
// table; the window shows one page at a time, below its tab strip, and hands
// each page its messages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "main/design.h"

namespace velmora::explore {

using main::DesignInputs;

// What a page gets from the window around it.
struct PageHost {
  HWND window = nullptr;  // the explorer window, parent of every control
  HINSTANCE instance = nullptr;
  HFONT font = nullptr;      // the main window's font
  HFONT boldFont = nullptr;  // the same, bold, for the status lines
  int lineHeight = 16;       // of a line of text in `font`
};

// One control of a page. Positions are relative to the page's top-left
// corner (below the tab strip); the controls a page stretches are moved by
// its Layout. Created in table order, which is the tab order of those that
// take the focus.
struct PageControl {
  enum class Kind { Label, Edit, Combo, Button, Radio, Progress, List, Memo, Status };
  int id;
  Kind kind;
  int left, top, width, height;
  std::u16string_view caption;
  bool groupStart = false;  // the first radio button of a group
};

// Creates the controls of `table` hidden, at their places below `top`.
void CreatePageControls(const PageHost& host, std::span<const PageControl> table, int top);
// Shows or hides every control of `table`.
void ShowPageControls(HWND window, std::span<const PageControl> table, bool shown);

// A box whose value cannot be used: `message` in the centred warning box,
// then the focus on the box with its text selected.
void RefuseBox(HWND window, int box, std::u16string_view message);

// Paints `area` of `target` through a bitmap of its size, so that a redraw
// does not flicker: `draw` gets the bitmap's DC (in `font`, its face filled
// with the window colour) and its width and height; the frame is drawn
// after it. Nothing for an empty area.
void PaintOffScreen(HDC target, const RECT& area, HFONT font, const std::function<void(HDC, int, int)>& draw);

class ExplorerPage {
 public:
  virtual ~ExplorerPage() = default;

  // Creates the page's controls, hidden; `top` is the height of the tab strip.
  virtual void Create(const PageHost& host, int top) = 0;
  // Shows or hides the page.
  virtual void Show(bool shown) = 0;
  // Places the stretched controls in `area`, the client area below the tab strip.
  virtual void Layout(const RECT& area) = 0;
  // The design the page shows changed (nullopt: nothing calculated yet).
  virtual void Follow(const std::optional<DesignInputs>& design) = 0;
  // The control that gets the focus when the page is opened.
  virtual HWND FirstControl() const = 0;

  // A WM_COMMAND from one of its controls; true when it was the page's.
  virtual bool OnCommand(int id, int code) = 0;
  // Enter with the focus on `focus`, one of the page's controls.
  virtual void OnEnter(HWND focus) = 0;
  // Esc: true when the page used it (a running analysis stopped), else the
  // window hides itself.
  virtual bool OnEscape() { return false; }
  virtual LRESULT OnNotify(const NMHDR&) { return 0; }
  // Paints what the page draws itself onto the window's `dc`.
  virtual void OnPaint(HDC) {}
  // WM_CTLCOLORSTATIC for one of its controls: a brush, or nullptr for the default.
  virtual HBRUSH OnColorStatic(HDC, HWND) { return nullptr; }

 protected:
  // Sets the text of control `id` of `window`. The change notification it
  // causes arrives while SettingText() holds, so that a page tells its own
  // texts from the user's typing.
  void SetControlText(HWND window, int id, std::u16string_view text);
  bool SettingText() const { return settingText_; }

 private:
  bool settingText_ = false;
};

}  // namespace velmora::explore
