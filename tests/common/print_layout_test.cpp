#include "common/print_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "common/fp_error.h"

namespace velmora::common {
namespace {

// Fixed metrics: letters 10 px, digits 1 px, each surrogate code unit 10 px
// (a pair is 20), ideographs 20 px, '#' 1000 px. Every run is 16 px high
// (a line with text advances 18), the font's character height is 12 (an
// empty line advances 12), the average width 10 (tab stops every 80 px).
class FixedMeasurer final : public TextMeasurer {
 public:
  std::int32_t RunWidth(std::u16string_view run) const override {
    std::int32_t w = 0;
    for (char16_t c : run) w += Width(c);
    return w;
  }
  std::int32_t RunHeight(std::u16string_view) const override { return 16; }
  std::int32_t AverageCharWidth() const override { return 10; }
  std::int32_t CharHeight() const override { return 12; }

 private:
  static std::int32_t Width(char16_t c) {
    if (c == u'#') return 1000;
    if (c >= u'0' && c <= u'9') return 1;
    if (c >= 0x3000 && c < 0xD800) return 20;
    return 10;
  }
};

const FixedMeasurer kMetrics;
constexpr PageSize kPage{200, 100};

CollectedLayout Lay(std::u16string_view text, PageSize page = kPage) {
  return CollectLayout(text, kMetrics, page);
}

std::u16string Digits(std::size_t n) { return std::u16string(n, u'1'); }

}  // namespace

void PrintTo(const DrawOp& op, std::ostream* os) {
  *os << "{page " << op.page << ", " << op.x << ", " << op.y << ", \"";
  for (char16_t c : op.text) {
    if (c >= 0x20 && c < 0x7F) *os << static_cast<char>(c);
    else *os << "\\u" << std::hex << static_cast<unsigned>(c) << std::dec;
  }
  *os << "\"}";
}

namespace {

TEST(PrintOrigin, MarginMinusPhysicalOffset) {
  struct Case {
    std::int32_t dpi;
    DevicePoint offset, origin;
  };
  const Case cases[] = {
      {600, {100, 120}, {372, 352}},  // round(472.44) = 472
      {300, {0, 0}, {236, 236}},
      {360, {0, 0}, {283, 283}},      // 283.46 rounds down
      {1200, {0, 0}, {945, 945}},     // 944.88 rounds up
      {300, {75, 100}, {161, 136}},   // the inset test queue
      {300, {300, 0}, {-64, 236}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PrintOrigin(c.dpi, c.offset), c.origin) << c.dpi << " dpi";
  }
}

TEST(PrintOrigin, MarginsAreSeparateAndHalvesGoToEven) {
  // 127 dpi is exactly 5 px/mm: 0.5 mm is 2.5 px and 1.5 mm is 7.5 px.
  EXPECT_EQ(PrintOrigin(127, {0, 0}, 0.5, 1.5), (DevicePoint{2, 8}));
  EXPECT_EQ(PrintOrigin(254, {0, 0}, 20, 10), (DevicePoint{200, 100}));
  EXPECT_THROW(PrintOrigin(2'000'000'000, {0, 0}, 1000, 20), FloatingPointError);
}

TEST(PrintDialogPosition, CentredWithAThirdAbove) {
  struct Case {
    ScreenRect area;
    std::int32_t width, height;
    ScreenPoint at;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1040}, 400, 300, {760, 246}},
      {{0, 0, 1920, 1040}, 401, 301, {759, 246}},
      {{1920, 100, 3840, 1180}, 400, 300, {2680, 360}},
      // Larger than the area: spare space is negative and truncates toward 0.
      {{0, 0, 1000, 700}, 1001, 1001, {0, -100}},
  };
  for (const Case& c : cases) {
    const ScreenPoint p = PrintDialogPosition(c.area, c.width, c.height);
    EXPECT_EQ(p.x, c.at.x);
    EXPECT_EQ(p.y, c.at.y);
  }
}

TEST(LinePrinter, TabStops) {
  struct Case {
    std::u16string before;
    std::int32_t x;
  };
  const Case cases[] = {
      {u"", 80}, {Digits(78), 80}, {Digits(79), 160}, {Digits(80), 160}, {u"a\ta", 160},
  };
  for (const Case& c : cases) {
    const CollectedLayout l = Lay(c.before + u"\tz");
    ASSERT_FALSE(l.ops.empty());
    EXPECT_EQ(l.ops.back(), (DrawOp{0, c.x, 0, u"z"})) << c.before.size();
  }
  // A tab stop beyond the page width starts a new line.
  EXPECT_EQ(Lay(Digits(170) + u"\tz").ops.back(), (DrawOp{0, 0, 18, u"z"}));
  EXPECT_EQ(Lay(Digits(110) + u"\tz").ops.back(), (DrawOp{0, 160, 0, u"z"}));
  // A font without an average width has no tab stops: the pen stays.
  struct NoAverage final : TextMeasurer {
    std::int32_t RunWidth(std::u16string_view run) const override { return kMetrics.RunWidth(run); }
    std::int32_t RunHeight(std::u16string_view run) const override { return kMetrics.RunHeight(run); }
    std::int32_t AverageCharWidth() const override { return 0; }
    std::int32_t CharHeight() const override { return 12; }
  } noAverage;
  EXPECT_EQ(CollectLayout(u"ab\tz", noAverage, kPage).ops.back(), (DrawOp{0, 20, 0, u"z"}));
}

TEST(LinePrinter, RunBreaksAfterLastWholeCharacterThatFits) {
  const std::u16string ten(10, u'a');
  EXPECT_EQ(Lay(ten + ten, {100, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, ten}, {0, 0, 18, ten}}));
  // An exact fit stays on the line.
  EXPECT_EQ(Lay(ten, {100, 1000}).ops.size(), 1u);
  // After a CR the pen stays at 30: seven letters fit, three go on.
  EXPECT_EQ(Lay(u"bbb\r" + ten, {100, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"bbb"}, {0, 30, 0, u"aaaaaaa"}, {0, 0, 18, u"aaa"}}));
  EXPECT_EQ(Lay(ten + u"\rbb", {100, 1000}).ops.back(), (DrawOp{0, 0, 18, u"bb"}));  // a full line: all goes on
  // Trap: giving back one code unit would leave half a pair (50 px fits).
  EXPECT_EQ(Lay(u"aa\U0001F600\U0001F600", {50, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"aa\U0001F600"}, {0, 0, 18, u"\U0001F600"}}));
  EXPECT_EQ(Lay(u"明朝明朝明朝", {50, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"明朝"}, {0, 0, 18, u"明朝"}, {0, 0, 36, u"明朝"}}));
}

TEST(LinePrinter, CharacterWiderThanThePageGoesAlone) {
  EXPECT_EQ(Lay(u"ab#c", {100, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"ab"}, {0, 0, 18, u"#"}, {0, 0, 36, u"c"}}));
  const CollectedLayout l = Lay(u"#\rx", {100, 1000});
  EXPECT_EQ(l.ops, (std::vector<DrawOp>{{0, 0, 0, u"#"}, {0, 0, 18, u"x"}}));
  EXPECT_EQ(l.pen, (DevicePoint{10, 18}));
  EXPECT_EQ(Lay(u"\U0001F600a", {15, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"\U0001F600"}, {0, 0, 18, u"a"}}));  // a pair stays whole
  EXPECT_EQ(Lay(u"\U00010000\U0010FFFF", {15, 1000}).ops,
            (std::vector<DrawOp>{{0, 0, 0, u"\U00010000"}, {0, 0, 18, u"\U0010FFFF"}}));  // the first and last pairs
}

TEST(LinePrinter, LineAdvances) {
  struct Case {
    const char* what;
    std::u16string text;
    DrawOp last;
  };
  const Case cases[] = {
      {"CR LF is one break",   u"a\r\nb",     {0, 0, 18, u"b"}},
      {"lone LF",              u"a\nb",       {0, 0, 18, u"b"}},
      {"empty line",           u"a\n\nb",     {0, 0, 30, u"b"}},
      {"leading empty line",   u"\nb",        {0, 0, 12, u"b"}},
      {"lone CR keeps the pen", u"ab\rcd",    {0, 20, 0, u"cd"}},
      {"FF starts a page",     u"ab\fcd",     {1, 0, 0, u"cd"}},
      {"8 empty lines fit",    u"\n\n\n\n\n\n\n\nb",   {0, 0, 96, u"b"}},
      // An empty line's page test is Y > page height (twice a height of 0).
      {"9 empty lines do not", u"\n\n\n\n\n\n\n\n\nb", {1, 0, 0, u"b"}},
      // Text lines: a page ends once Y > 100 - 2 x 18 = 64.
      {"4th line at 54",       u"a\na\na\nb",      {0, 0, 54, u"b"}},
      {"5th line on page 2",   u"a\na\na\na\nb",   {1, 0, 0, u"b"}},
  };
  for (const Case& c : cases) {
    const CollectedLayout l = Lay(c.text);
    ASSERT_FALSE(l.ops.empty()) << c.what;
    EXPECT_EQ(l.ops.back(), c.last) << c.what;
  }
  EXPECT_EQ(Lay(u"ab\rcd").pen, Lay(u"abcd").pen);
}

TEST(LayOutPrintJob, TrailingLineFeedMayStartAnEmptyPage) {
  struct Counter final : LayoutSink {
    int pages = 1, draws = 0, drawsOnLastPage = 0;
    void DrawRun(std::int32_t, std::int32_t, std::u16string_view) override {
      ++draws;
      ++drawsOnLastPage;
    }
    void NewPage() override {
      ++pages;
      drawsOnLastPage = 0;
    }
  };
  struct Case {
    const char* what;
    std::u16string text;
    int pages, draws;
  };
  const Case cases[] = {
      {"3 lines fit",                u"a\r\na\r\na",   1, 3},
      {"after the 4th line, a page", u"a\r\na\r\na\r\na", 2, 4},
      {"8 empty lines then one more", std::u16string(8, u'\n'), 2, 0},
      {"7 empty lines then one more", std::u16string(7, u'\n'), 1, 0},
  };
  for (const Case& c : cases) {
    Counter counter;
    LayOutPrintJob(c.text, kMetrics, kPage, counter);
    EXPECT_EQ(counter.pages, c.pages) << c.what;
    EXPECT_EQ(counter.draws, c.draws) << c.what;
    if (c.pages > 1) {
      EXPECT_EQ(counter.drawsOnLastPage, 0) << c.what;
    }
  }
}


// ---- The line breaker against the one it replaced ----

// The layout as the line printer made it before the break search was
// rewritten: take the whole rest of a run, then give back one character
// at a time until it fits. Kept, with the rest of the printer's rules, as
// the reference whose pages the faster search must reproduce exactly.
class ReferencePrinter {
 public:
  ReferencePrinter(const TextMeasurer& measurer, PageSize page) : m_(measurer), page_(page) {}

  CollectedLayout Lay(std::u16string_view text) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c != u'\r' && c != u'\n' && c != u'\f' && c != u'\t') continue;
      DrawRun(text.substr(runStart, i - runStart));
      runStart = i + 1;
      if (c == u'\n') NewLine();
      if (c == u'\f') NewPage();
      if (c == u'\t') Tab();
    }
    DrawRun(text.substr(runStart));
    out_.pen = {x_, y_};
    return out_;
  }

 private:
  static std::int32_t Pin(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  }
  static bool High(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
  static bool Low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

  void DrawRun(std::u16string_view run) {
    while (!run.empty()) {
      std::size_t taken = run.size();
      std::int32_t width = m_.RunWidth(run);
      while (taken > 0 && std::int64_t{x_} + width > page_.width) {
        taken -= taken >= 2 && Low(run[taken - 1]) && High(run[taken - 2]) ? 2 : 1;
        width = taken > 0 ? m_.RunWidth(run.substr(0, taken)) : 0;
      }
      if (taken == 0) {
        if (x_ != 0) {
          NewLine();
          continue;
        }
        taken = run.size() >= 2 && High(run[0]) && Low(run[1]) ? 2 : 1;
        width = m_.RunWidth(run.substr(0, taken));
      }
      const std::u16string_view piece = run.substr(0, taken);
      const std::int32_t height = m_.RunHeight(piece);
      if (height > lineHeight_) lineHeight_ = Pin(std::int64_t{height} + 2);
      out_.ops.push_back({out_.pages - 1, x_, y_, std::u16string(piece)});
      run.remove_prefix(taken);
      if (run.empty()) {
        x_ = Pin(std::int64_t{x_} + width);
      } else {
        NewLine();
      }
    }
  }
  void Tab() {
    const std::int64_t t = 8 * std::int64_t{m_.AverageCharWidth()};
    if (t <= 0) return;
    x_ = Pin(x_ + t - (x_ + t + 1) % t + 1);
    if (x_ > page_.width) NewLine();
  }
  void NewLine() {
    const std::int32_t ended = lineHeight_;
    x_ = 0;
    y_ = Pin(std::int64_t{y_} + (ended != 0 ? ended : m_.CharHeight()));
    if (y_ > std::int64_t{page_.height} - 2 * std::int64_t{ended}) NewPage();
    lineHeight_ = 0;
  }
  void NewPage() {
    x_ = 0;
    y_ = 0;
    ++out_.pages;
  }

  const TextMeasurer& m_;
  PageSize page_;
  CollectedLayout out_;
  std::int32_t x_ = 0, y_ = 0, lineHeight_ = 0;
};

// The units random texts are made of: letters, a space, a digit, an
// ideograph, both surrogate halves (paired or stray; the low one at the
// bottom of its range), a zero-width space and the four control characters (rarer).
constexpr char16_t kUnits[] = {u'a', u'W', u' ', u'1', u'\u660E', 0xD83D, 0xDC00, u'\u200B',
                               u'\r', u'\n', u'\t', u'\f'};
constexpr std::size_t kPrintable = 8;

// Widths per unit drawn at random (zero included, some wider than most
// pages), summed, scaled with rounding up and given a fixed overhang: not
// additive, but a run never gets narrower as it grows. Heights vary by unit.
class RandomMeasurer final : public TextMeasurer {
 public:
  explicit RandomMeasurer(std::mt19937& rng) {
    std::uniform_int_distribution<std::int32_t> width(0, 60), height(5, 30);
    for (std::size_t i = 0; i < kPrintable; ++i) {
      widths_[i] = rng() % 8 == 0 ? 400 : width(rng);
      heights_[i] = height(rng);
    }
    scale_ = std::uniform_int_distribution<std::int32_t>(16, 128)(rng);
    overhang_ = std::uniform_int_distribution<std::int32_t>(0, 7)(rng);
    average_ = std::uniform_int_distribution<std::int32_t>(0, 20)(rng);
    charHeight_ = height(rng);
  }
  std::int32_t RunWidth(std::u16string_view run) const override {
    std::int64_t sum = 0;
    for (char16_t c : run) sum += widths_[Index(c)];
    return static_cast<std::int32_t>((sum * scale_ + 63) / 64) + overhang_;
  }
  std::int32_t RunHeight(std::u16string_view run) const override {
    std::int32_t h = 0;
    for (char16_t c : run) h = std::max(h, heights_[Index(c)]);
    return h;
  }
  std::int32_t AverageCharWidth() const override { return average_; }
  std::int32_t CharHeight() const override { return charHeight_; }

 private:
  static std::size_t Index(char16_t c) {
    return static_cast<std::size_t>(std::find(kUnits, kUnits + kPrintable, c) - kUnits);
  }
  std::int32_t widths_[kPrintable] = {}, heights_[kPrintable] = {};
  std::int32_t scale_ = 64, overhang_ = 0, average_ = 0, charHeight_ = 0;
};

void ExpectSameLayout(const CollectedLayout& got, const CollectedLayout& want, const std::string& what) {
  EXPECT_EQ(got.ops, want.ops) << what;
  EXPECT_EQ(got.pages, want.pages) << what;
  EXPECT_EQ(got.pen, want.pen) << what;
}

TEST(LinePrinter, BreaksWhereGivingBackOneCharacterAtATimeDid) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 3000; ++trial) {
    const RandomMeasurer measurer(rng);
    const PageSize page{std::uniform_int_distribution<std::int32_t>(1, 500)(rng),
                        std::uniform_int_distribution<std::int32_t>(1, 400)(rng)};
    // Control characters about one in twenty; some texts have none at all.
    const bool controls = trial % 3 != 0;
    std::u16string text(std::uniform_int_distribution<std::size_t>(0, 150)(rng), u' ');
    for (char16_t& c : text) {
      const std::size_t pick = rng() % (controls ? 84 : 80);
      c = kUnits[pick < 80 ? pick % kPrintable : kPrintable + pick % 4];
    }
    const std::string what = "trial " + std::to_string(trial) + ", page " +
                             std::to_string(page.width) + "x" + std::to_string(page.height);
    ExpectSameLayout(CollectLayout(text, measurer, page), ReferencePrinter(measurer, page).Lay(text), what);
    if (HasFailure()) break;
  }
}

// ---- Measuring calls for a long line ----

struct BudgetSpent {};

// Per-character widths looked up through prefix sums over the one text
// being laid out, so that a call costs the same whatever the run's length;
// counts width calls and throws BudgetSpent once they pass the budget, which
// stops a quadratic search early instead of letting it run for minutes.
class CountingMeasurer final : public TextMeasurer {
 public:
  CountingMeasurer(std::u16string_view text, std::int64_t budget) : text_(text), budget_(budget) {
    prefix_.push_back(0);
    for (char16_t c : text) prefix_.push_back(prefix_.back() + Width(c));
  }
  std::int32_t RunWidth(std::u16string_view run) const override {
    if (++calls_ > budget_) throw BudgetSpent{};
    const auto from = static_cast<std::size_t>(run.data() - text_.data());
    return static_cast<std::int32_t>(prefix_[from + run.size()] - prefix_[from]);
  }
  std::int32_t RunHeight(std::u16string_view) const override { return 38; }
  std::int32_t AverageCharWidth() const override { return 19; }
  std::int32_t CharHeight() const override { return 38; }
  std::int64_t Calls() const { return calls_; }

 private:
  // About a 9-point face at 300 dpi: digits 21 px, a space 19, letters 23.
  static std::int64_t Width(char16_t c) {
    if (c == u' ') return 19;
    return c >= u'0' && c <= u'9' ? 21 : 23;
  }
  std::u16string_view text_;
  std::int64_t budget_;
  std::vector<std::int64_t> prefix_;
  mutable std::int64_t calls_ = 0;
};

// A 30,000-character report line used to take hours to print: each line
// break measured the whole rest of the run and then every shorter prefix,
// about n^2 / (2k) calls for k characters per line (some 3.5 million on an
// A4 page at 300 dpi, 450 million when every character is wider than the
// page), each measuring up to n characters. Now each break costs O(log k)
// calls; the budget is n log2 n.
TEST(LinePrinter, LongLineTookHoursToPrint) {
  std::u16string zo = u"Zo = 600";
  zo.resize(30'000 + 5, u' ');  // "600" and 29,997 spaces after the caption
  std::u16string pairs;
  for (int i = 0; i < 15'000; ++i) pairs += u"\U0001F600";
  const std::int64_t budget = std::llround(30'000 * std::log2(30'000.0));
  struct Case {
    const char* what;
    const std::u16string& text;
    std::int32_t pageWidth;
    std::size_t pieces;
  };
  const Case cases[] = {
      {"the Zo line on A4 at 300 dpi",  zo,    2479,          231},
      {"a few characters per line",     zo,    60,            10'003},
      {"each character wider than the page", zo, 10,          30'005},
      {"surrogate pairs on A4",         pairs, 2479,          284},
      {"the whole line fits",           zo,    1'000'000'000, 1},
  };
  for (const Case& c : cases) {
    CountingMeasurer measurer(c.text, budget);
    const PageSize page{c.pageWidth, 3508};
    CollectedLayout got;
    EXPECT_NO_THROW(got = CollectLayout(c.text, measurer, page)) << c.what << ": over " << budget << " calls";
    EXPECT_EQ(got.ops.size(), c.pieces) << c.what;
  }
  // And the long line's pages are those the old search made.
  const CountingMeasurer unlimited(zo, std::numeric_limits<std::int64_t>::max());
  ExpectSameLayout(CollectLayout(zo, unlimited, {2479, 3508}),
                   ReferencePrinter(unlimited, {2479, 3508}).Lay(zo), "the Zo line");
}

}  // namespace
}  // namespace velmora::common
