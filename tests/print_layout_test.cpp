#include "common/print_layout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

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

}  // namespace
}  // namespace velmora::common
