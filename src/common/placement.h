// Where a window opens relative to another one: pure rectangle arithmetic,
// free of any window system, shared by the centred message box and the help
// window's first showing.
#pragma once

#include <cstdint>

namespace velmora::common {

// Two's-complement wrapping add and subtract, as the window system's 32-bit
// integers behave: defined for every input, and the same as plain int32
// arithmetic wherever that does not overflow.
constexpr std::int32_t WrappingAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t WrappingSub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// A rectangle in screen pixels; right and bottom lie one past the last pixel,
// so width = right - left and height = bottom - top.
struct ScreenRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

struct ScreenPoint {
  std::int32_t x;
  std::int32_t y;
};

// Top-left corner of a window of outer size width x height centred over the
// outer rectangle `over`. Signed 32-bit arithmetic (wrapping like the window
// system's integers, never undefined), halving that truncates toward zero:
// x = over.left + (over.width - width) / 2, likewise y.
ScreenPoint CentredOver(const ScreenRect& over, std::int32_t width, std::int32_t height);

// Top-left corner of a message dialog of outer size width x height: centred
// over `parent`, then clamped against the work area in this order, each test
// reading what the earlier ones left:
//   y < area.top -> area.top;  y > area.bottom - height -> area.bottom - height;
//   x < area.left -> area.left; x > area.right - width -> area.right - width.
// A dialog larger than the work area thus ends flush with its right/bottom edge.
ScreenPoint MessageDialogPosition(const ScreenRect& parent, std::int32_t width,
                                  std::int32_t height, const ScreenRect& area);

// Top-left corner of the help window at its first showing: centred over the
// main window, then only the left and top edges are pushed inside the work
// area; the right and bottom edges are not checked.
ScreenPoint HelpWindowFirstPosition(const ScreenRect& main, std::int32_t width,
                                    std::int32_t height, const ScreenRect& area);

}  // namespace velmora::common
