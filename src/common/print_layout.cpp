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

// The first character boundary at or after `at` (0 < at <= text.size()):
// `at` itself unless it falls between the halves of a surrogate pair.
std::size_t BoundaryFrom(std::u16string_view text, std::size_t at) {
  if (at < text.size() && IsHighSurrogate(text[at - 1]) && IsLowSurrogate(text[at])) return at + 1;
  return at;
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

// Whether `width` more pixels fit on the line after the pen.
bool LinePrinter::Fits(std::int32_t width) const {
  return std::int64_t{x_} + width <= page_.width;
}

// The largest character boundary b > 0 of `run` whose prefix run[0, b)
// fits after the pen, 0 when not even the first character does; `width`
// receives that prefix's width. A prefix never gets narrower as it grows,
// so every boundary up to b fits and none after it does: doubling steps
// from the start bracket b, and halving the bracket finds it, with
// O(log b) measurements of at most 2b + 2 code units each.
//
// The search runs over code-unit positions p, each standing for the
// boundary BoundaryFrom(p); `fitting` and `failing` are positions with
// fitting < failing, known to fit (or 0) and known not to (or n + 1).
std::size_t LinePrinter::FittingLength(std::u16string_view run, std::int32_t& width) const {
  const std::size_t n = run.size();
  std::size_t fitting = 0;
  std::size_t failing = n + 1;
  width = 0;
  const auto probe = [&](std::size_t at) {
    const std::size_t end = BoundaryFrom(run, at);
    const std::int32_t w = measurer_.RunWidth(run.substr(0, end));
    if (!Fits(w)) {
      failing = at;
      return false;
    }
    fitting = end;  // end >= at: the boundary that `at` stands for fits
    width = w;
    return true;
  };
  // Doubling steps until a probe fails or the whole run fits, then halving.
  std::size_t step = 1;
  while (fitting < n && probe(std::min(fitting + step, n))) step *= 2;
  while (failing - fitting > 1) {
    const std::size_t at = fitting + (failing - fitting) / 2;
    // Inside the pair just before `failing`: it stands for that boundary.
    if (BoundaryFrom(run, at) >= failing) {
      failing = at;
    } else {
      probe(at);
    }
  }
  return fitting;
}

void LinePrinter::DrawRun(std::u16string_view run) {
  while (!run.empty()) {
    // The longest start of the run that fits on the line.
    std::int32_t width = 0;
    std::size_t taken = FittingLength(run, width);
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
