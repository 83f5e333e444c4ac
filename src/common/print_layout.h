// Plain-text printing, free of any window system: where the first line
// starts on the paper, how a text is broken into lines and pages, and where
// the printer dialog opens. The device layer (common/win/print_text.h)
// supplies the measurements and turns the draw calls into output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/placement.h"

namespace velmora::common {

// Distance of the first line from the paper's left and top edges, in
// millimetres. Fixed for the run.
inline constexpr double PrintMarginLeft = 20.0;
inline constexpr double PrintMarginTop = 20.0;

// A position in device pixels.
struct DevicePoint {
  std::int32_t x;
  std::int32_t y;
  friend bool operator==(const DevicePoint&, const DevicePoint&) = default;
};

// Viewport origin that puts the line printer's (0, 0) at the margins:
// p = dpiY / 25.4 pixels per millimetre (the vertical resolution serves both
// directions), x = round(marginLeftMm * p) - offset.x and
// y = round(marginTopMm * p) - offset.y, rounding halves to even. `offset` is
// the distance from the paper's edges to the printable area. Throws
// common::FloatingPointError (Invalid) only when a rounded margin leaves the
// 32-bit range; the subtraction wraps like the window system's integers.
DevicePoint PrintOrigin(std::int32_t dpiY, DevicePoint offset,
                        double marginLeftMm = PrintMarginLeft,
                        double marginTopMm = PrintMarginTop);

// Top-left corner of the printer dialog of outer size width x height:
// centred horizontally on `area`, with one third of the spare height above
// it and two thirds below (divisions truncate toward zero; the arithmetic
// wraps like the window system's integers).
ScreenPoint PrintDialogPosition(const ScreenRect& area, std::int32_t width, std::int32_t height);

// Measures text in the printer's font, in device pixels. Runs given to it
// never contain control characters and are never empty. The line printer
// relies on widths never shrinking as a run grows: for runs a and a + b,
// RunWidth(a + b) >= RunWidth(a).
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual std::int32_t RunWidth(std::u16string_view run) const = 0;
  virtual std::int32_t RunHeight(std::u16string_view run) const = 0;
  virtual std::int32_t AverageCharWidth() const = 0;
  virtual std::int32_t CharHeight() const = 0;
};

// Receives the layout as it is made. Positions are relative to the origin
// of the current page's printable text area.
class LayoutSink {
 public:
  virtual ~LayoutSink() = default;
  // Draws `run` with its top-left corner at (x, y) on the current page.
  virtual void DrawRun(std::int32_t x, std::int32_t y, std::u16string_view run) = 0;
  // Ends the current page and starts the next one.
  virtual void NewPage() = 0;
};

// The printable area in device pixels.
struct PageSize {
  std::int32_t width;
  std::int32_t height;
};

// Lays out plain text line by line, page by page. Control characters:
//   CR  ends the pending run; the pen stays where the run ended;
//   LF  ends the run and starts a new line;
//   FF  ends the run and starts a new page;
//   TAB ends the run and moves to the next tab stop, T = 8 x the average
//       character width: X = X + T - ((X + T + 1) mod T) + 1; past the page
//       width it starts a new line (with T <= 0 the pen does not move).
// Everything else joins the pending run. A run is broken after the last
// whole character (a surrogate pair counts as one) that fits within the page
// width; the rest continues at the start of the next line (finding that
// place takes O(log k) measurements for a piece of k characters). A
// character wider than the whole page width is drawn alone at the start of
// its line. A line with text advances by its tallest run + 2, an empty line
// by the font's character height; a new page starts when Y passes the page
// height less twice the height of the line just ended.
class LinePrinter {
 public:
  LinePrinter(const TextMeasurer& measurer, PageSize page, LayoutSink& sink);

  // Lays out `text`; its last pending run is drawn before returning.
  // Exceptions from the measurer or the sink pass through.
  void Write(std::u16string_view text);

  // The pen and the height of the current line (0 while nothing is on it).
  std::int32_t X() const { return x_; }
  std::int32_t Y() const { return y_; }
  std::int32_t LineHeight() const { return lineHeight_; }

 private:
  bool Fits(std::int32_t width) const;
  std::size_t FittingLength(std::u16string_view run, std::int32_t& width) const;
  void DrawRun(std::u16string_view run);
  void Tab();
  void NewLine();
  void NewPage();

  const TextMeasurer& measurer_;
  PageSize page_;
  LayoutSink& sink_;
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
  std::int32_t lineHeight_ = 0;
};

// A whole print job's layout: `text`, then one line feed.
void LayOutPrintJob(std::u16string_view text, const TextMeasurer& measurer, PageSize page,
                    LayoutSink& sink);

// One drawn run, as collected by CollectLayout.
struct DrawOp {
  std::int32_t page;  // 0 for the first page
  std::int32_t x;
  std::int32_t y;
  std::u16string text;
  friend bool operator==(const DrawOp&, const DrawOp&) = default;
};

struct CollectedLayout {
  std::vector<DrawOp> ops;
  std::int32_t pages = 1;  // pages started, the first one included
  DevicePoint pen{0, 0};   // where the pen stood at the end
};

// Lays out `text` (without an added line feed) and returns what was drawn.
CollectedLayout CollectLayout(std::u16string_view text, const TextMeasurer& measurer, PageSize page);

}  // namespace velmora::common
