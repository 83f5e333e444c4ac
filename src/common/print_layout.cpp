#include "common/print_layout.h"

#include <algorithm>
#include <limits>

#include "common/checked.h"
#include "common/placement.h"

namespace velmora::common {
namespace {

constexpr auto Add = WrappingAdd;
constexpr auto Sub = WrappingSub;

// Pen arithmetic is done in 64 bits and pinned to the 32-bit range, so that
// absurd metrics cannot overflow.
std::int32_t Pin(std::int64_t v) {
  constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Length in code units of the first whole character of a non-empty `text`.
std::size_t FirstCharLength(std::u16string_view text) {
  return text.size() >= 2 && IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]) ? 2 : 1;
}

// The character boundary before `end` (0 < end <= text.size()).
std::size_t PreviousBoundary(std::u16string_view text, std::size_t end) {
  if (end >= 2 && IsLowSurrogate(text[end - 1]) && IsHighSurrogate(text[end - 2])) return end - 2;
  return end - 1;
}

}  // namespace

DevicePoint PrintOrigin(std::int32_t dpiY, DevicePoint offset, double marginLeftMm,
                        double marginTopMm) {
  const Checked perMm = Checked(static_cast<double>(dpiY)) / 25.4;
  const std::int32_t left = RoundToInt32(Checked(marginLeftMm) * perMm);
  const std::int32_t top = RoundToInt32(Checked(marginTopMm) * perMm);
  return {Sub(left, offset.x), Sub(top, offset.y)};
}

ScreenPoint PrintDialogPosition(const ScreenRect& area, std::int32_t width, std::int32_t height) {
  const std::int32_t spareWidth = Sub(Sub(area.right, area.left), width);
  const std::int32_t spareHeight = Sub(Sub(area.bottom, area.top), height);
  return {Add(area.left, spareWidth / 2), Add(area.top, spareHeight / 3)};
}

LinePrinter::LinePrinter(const TextMeasurer& measurer, PageSize page, LayoutSink& sink)
    : measurer_(measurer), page_(page), sink_(sink) {}

void LinePrinter::Write(std::u16string_view text) {
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n' && c != u'\f' && c != u'\t') continue;
    DrawRun(text.substr(runStart, i - runStart));
    runStart = i + 1;
    switch (c) {
      case u'\n': NewLine(); break;
      case u'\f': NewPage(); break;
      case u'\t': Tab(); break;
      default: break;  // CR: the pen stays where the run ended
    }
  }
  DrawRun(text.substr(runStart));
}

void LinePrinter::DrawRun(std::u16string_view run) {
  while (!run.empty()) {
    // Take the whole rest, then give back one character at a time until
    // what is taken fits on the line.
    std::size_t taken = run.size();
    std::int32_t width = measurer_.RunWidth(run);
    while (taken > 0 && std::int64_t{x_} + width > page_.width) {
      taken = PreviousBoundary(run, taken);
      width = taken > 0 ? measurer_.RunWidth(run.substr(0, taken)) : 0;
    }
    if (taken == 0) {
      if (x_ != 0) {  // nothing fits after what the line already holds
        NewLine();
        continue;
      }
      // Too wide even for an empty line: it goes alone, or it would never go.
      taken = FirstCharLength(run);
      width = measurer_.RunWidth(run.substr(0, taken));
    }
    const std::u16string_view piece = run.substr(0, taken);
    const std::int32_t height = measurer_.RunHeight(piece);
    if (height > lineHeight_) lineHeight_ = Pin(std::int64_t{height} + 2);
    sink_.DrawRun(x_, y_, piece);
    run.remove_prefix(taken);
    if (run.empty()) {
      x_ = Pin(std::int64_t{x_} + width);
    } else {
      NewLine();
    }
  }
}

void LinePrinter::Tab() {
  const std::int64_t t = 8 * std::int64_t{measurer_.AverageCharWidth()};
  if (t <= 0) return;
  const std::int64_t x = x_;
  x_ = Pin(x + t - (x + t + 1) % t + 1);
  if (x_ > page_.width) NewLine();
}

void LinePrinter::NewLine() {
  const std::int32_t ended = lineHeight_;
  x_ = 0;
  y_ = Pin(std::int64_t{y_} + (ended != 0 ? ended : measurer_.CharHeight()));
  if (y_ > std::int64_t{page_.height} - 2 * std::int64_t{ended}) NewPage();
  lineHeight_ = 0;
}

void LinePrinter::NewPage() {
  x_ = 0;
  y_ = 0;
  sink_.NewPage();
}

void LayOutPrintJob(std::u16string_view text, const TextMeasurer& measurer, PageSize page,
                    LayoutSink& sink) {
  LinePrinter printer(measurer, page, sink);
  printer.Write(text);
  printer.Write(u"\n");
}

namespace {

class Collector final : public LayoutSink {
 public:
  explicit Collector(CollectedLayout& out) : out_(out) {}
  void DrawRun(std::int32_t x, std::int32_t y, std::u16string_view run) override {
    out_.ops.push_back({out_.pages - 1, x, y, std::u16string(run)});
  }
  void NewPage() override { ++out_.pages; }

 private:
  CollectedLayout& out_;
};

}  // namespace

CollectedLayout CollectLayout(std::u16string_view text, const TextMeasurer& measurer, PageSize page) {
  CollectedLayout out;
  Collector collector(out);
  LinePrinter printer(measurer, page, collector);
  printer.Write(text);
  out.pen = {printer.X(), printer.Y()};
  return out;
}

}  // namespace velmora::common
