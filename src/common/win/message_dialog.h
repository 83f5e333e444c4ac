// The centred message box: a standard-looking modal message dialog (caption,
// icon, text, a row of buttons) placed over a parent window and kept inside
// the work area of that window's monitor.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/placement.h"

namespace velmora::common {

enum class MsgDlgType : std::uint8_t { Warning, Error, Information, Confirmation, Custom };

// A set of buttons: bit n stands for button n. The buttons appear in bit order.
using MsgDlgButtons = std::uint16_t;

namespace msgdlg {
inline constexpr MsgDlgButtons kYes = 1u << 0;       // "&Yes"        -> 6
inline constexpr MsgDlgButtons kNo = 1u << 1;        // "&No"         -> 7
inline constexpr MsgDlgButtons kOK = 1u << 2;        // "OK"          -> 1
inline constexpr MsgDlgButtons kCancel = 1u << 3;    // "Cancel"      -> 2
inline constexpr MsgDlgButtons kAbort = 1u << 4;     // "&Abort"      -> 3
inline constexpr MsgDlgButtons kRetry = 1u << 5;     // "&Retry"      -> 4
inline constexpr MsgDlgButtons kIgnore = 1u << 6;    // "&Ignore"     -> 5
inline constexpr MsgDlgButtons kAll = 1u << 7;       // "&All"        -> 12
inline constexpr MsgDlgButtons kNoToAll = 1u << 8;   // "N&o to All"  -> 13
inline constexpr MsgDlgButtons kYesToAll = 1u << 9;  // "Yes to &All" -> 14
inline constexpr MsgDlgButtons kHelp = 1u << 10;     // "&Help"       -> 0, does not close
inline constexpr MsgDlgButtons kClose = 1u << 11;    // "&Close"      -> 8
inline constexpr int kButtonCount = 12;
// What closing the dialog with its title-bar close box returns.
inline constexpr int kClosedResult = 2;
}  // namespace msgdlg

// Caption (with its '&' accelerator mark) and result of button `bit`, 0..11.
std::wstring_view MsgDlgButtonCaption(int bit);
int MsgDlgButtonResult(int bit);

// The button Enter presses: OK if in the set, else Yes if in the set, else
// Retry. Returns its bit, or -1 when that button is not in the set.
int MsgDlgDefaultButton(MsgDlgButtons buttons);
// The button Esc presses: Cancel, else No, else OK; its bit, or -1 if none of
// them is in the set (then Esc does nothing).
int MsgDlgCancelButton(MsgDlgButtons buttons);

// Caption of a dialog of the given type: "Warning", "Error", "Information",
// "Confirm"; Custom (and any unknown code) gives ApplicationTitle().
std::wstring MsgDlgCaption(MsgDlgType type);

// The running executable's file name without directory and extension.
std::wstring ApplicationTitle();

// Marks `window` as the application's main window (false if that failed);
// unmark it before it is destroyed.
bool MarkAsAppMainWindow(HWND window);
void UnmarkAppMainWindow(HWND window);

// The main window: the calling thread's top-level window marked by
// MarkAsAppMainWindow, or nullptr when there is none.
HWND AppMainWindow();

// The same rectangle as the placement code takes it.
inline ScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// Work area (screen minus task bars and docked tool bars) of the monitor
// nearest to `window` (the one showing most of it, else the closest one).
// A null window means AppMainWindow().
RECT MonitorWorkArea(HWND window);

// Shows the message modally, centred over `parent` (null: AppMainWindow())
// and clamped into the work area of the parent's monitor, and returns the
// result of the button that closed it (kClosedResult for the close box).
// The parent and the thread's other top-level windows take no input while it
// is open. Without any parent or main window the system message box is shown
// at its default position instead, and only that one receives `helpContext`.
// Returns 0 if the dialog could not be created.
int MessageBoxCentered(std::wstring_view text, MsgDlgType type, MsgDlgButtons buttons,
                       std::uint32_t helpContext, HWND parent);

}  // namespace velmora::common
