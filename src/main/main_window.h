// The main window's controls as data, from their one table
// (main/main_window.def): ids, kinds, places, texts and which of them the
// report quotes. Portable: the window builds itself from it, the report and
// the tests read it.
#pragma once

#include <array>
#include <string_view>

#include "main/texts.h"

namespace velmora::main {

inline constexpr std::u16string_view kNoText{};

// The controls' ids: their rows' order, from 100.
namespace control {
enum Id : int {
  kBeforeFirst = 99,
#define VELMORA_CONTROL(name, ...) name,
#include "main/main_window.def"
#undef VELMORA_CONTROL
  kAfterLast
};
inline constexpr int kFirst = kBeforeFirst + 1;
inline constexpr int kCount = kAfterLast - kFirst;
}  // namespace control

enum class ControlKind { Label, Edit, Combo, Button, Image, Link };
enum class ControlAlign { Left, Centre, Right };
enum class ControlHandlers : unsigned {
  None = 0,
  KeyDown = 1,   // EditZoKeyDown: Enter, Down and Up move the focus
  KeyPress = 2,  // EditZoKeyPress: a carriage return calculates
  Box = KeyDown | KeyPress,
};

struct ControlRow {
  const char* name;
  int id;
  ControlKind kind;
  ControlAlign align;
  int left, top, width, height;
  bool tabStop;
  bool enabledAtStart;
  ControlHandlers handlers;
  bool sizeToText;           // a label that takes the size of its text
  std::u16string_view text;  // caption or initial text; kNoText for none
  std::u16string_view hint;  // kNoText for none
  bool inReport;             // a line of the report quotes it
};

namespace detail {
inline constexpr bool Tab = true, NoTab = false;
inline constexpr bool On = true, Off = false;
inline constexpr bool ToText = true, Fixed = false;
inline constexpr bool Report = true, NoReport = false;
}  // namespace detail

// clang-format off
inline constexpr std::array<ControlRow, control::kCount> kMainWindowControls = {{
#define VELMORA_CONTROL(name, kind, align, left, top, width, height, tab, enabled, handlers, size, text, hint, report) \
  {#name, control::name, ControlKind::kind, ControlAlign::align, left, top, width, height, detail::tab,           \
   detail::enabled, ControlHandlers::handlers, detail::size, text, hint, detail::report},
#include "main/main_window.def"
#undef VELMORA_CONTROL
}};
// clang-format on

// The row of control `id`.
constexpr const ControlRow& ControlOf(int id) { return kMainWindowControls[static_cast<std::size_t>(id - control::kFirst)]; }

}  // namespace velmora::main
