// The tolerance settings: defaults, limits and their two readers.
#include "explore/tolerance_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "common/utf.h"
#include "explore/table.h"
#include "main/texts.h"

namespace velmora::explore {
namespace {

using F = ToleranceField;
using S = SettingSyntax;

TEST(Tolerance, CustomaryToleranceOfEachSeries) {
  const std::pair<std::int32_t, double> cases[] = {{3, 20}, {6, 20}, {12, 10}, {24, 5}, {48, 2}, {96, 1}, {192, 0.5}, {0, 1}};
  for (const auto& [er, pct] : cases) EXPECT_EQ(CustomaryTolerancePct(er), pct) << er;
}

TEST(ToleranceSettings, DefaultsLieWithinTheirLimits) {
  const ToleranceSettings d;
  EXPECT_EQ(d.pct, CustomaryTolerancePct(0));
  EXPECT_TRUE(kPctLimits.Admits(d.pct));
  EXPECT_TRUE(kSamplesLimits.Admits(d.samples));
  EXPECT_TRUE(kSeedLimits.Admits(d.seed));
  EXPECT_TRUE(kAcceptZoLimits.Admits(d.acceptZoPct));
  EXPECT_TRUE(kAcceptGainLimits.Admits(d.acceptGainDb));
  for (std::int32_t er : {0, 3, 6, 12, 24, 48, 96, 192, 7}) EXPECT_TRUE(kPctLimits.Admits(CustomaryTolerancePct(er)));
}

// The value a field holds in `s`, as a double.
double ValueOf(const ToleranceSettings& s, ToleranceField field) {
  switch (field) {
    case F::Pct: return s.pct;
    case F::Samples: return static_cast<double>(s.samples);
    case F::Seed: return static_cast<double>(s.seed);
    case F::AcceptZo: return s.acceptZoPct;
    case F::AcceptGain: return s.acceptGainDb;
  }
  return std::nan("");
}

// A text read as a field in one syntax: refused (NaN), or the value it gives.
struct Reading {
  S syntax;
  F field;
  std::u16string text;
  double value;  // NaN: refused
};

constexpr double kRefused = std::numeric_limits<double>::quiet_NaN();

TEST(ReadSetting, EachSyntaxReadsEveryFieldWithinItsLimits) {
  // clang-format off
  const Reading cases[] = {
      {S::CommandLine, F::Pct,        u"5",                    5},
      {S::CommandLine, F::Pct,        u"5%",                   5},
      {S::CommandLine, F::Pct,        u"0",                    0},     // a nominal-only run
      {S::CommandLine, F::Pct,        u"0%",                   0},
      {S::CommandLine, F::Pct,        u"99.999",               99.999},
      {S::CommandLine, F::Pct,        u"1e1",                  10},
      {S::CommandLine, F::Pct,        u"100",                  kRefused},
      {S::CommandLine, F::Pct,        u"-1",                   kRefused},
      {S::CommandLine, F::Pct,        u"5x",                   kRefused},
      {S::CommandLine, F::Pct,        u"5%%",                  kRefused},
      {S::CommandLine, F::Pct,        u"%",                    kRefused},
      {S::CommandLine, F::Pct,        u"",                     kRefused},
      {S::CommandLine, F::Pct,        u" 5",                   kRefused},
      {S::CommandLine, F::Pct,        u"+5",                   kRefused},
      {S::CommandLine, F::Pct,        u"nan",                  kRefused},
      {S::CommandLine, F::Pct,        u"5k",                   kRefused},  // no prefixes on the command line
      {S::CommandLine, F::AcceptZo,   u"99.5",                 99.5},
      {S::CommandLine, F::AcceptZo,   u"5%",                   kRefused},  // only the tolerance may end in %
      {S::CommandLine, F::AcceptZo,   u"0",                    kRefused},
      {S::CommandLine, F::AcceptZo,   u"-0",                   kRefused},
      {S::CommandLine, F::AcceptZo,   u"100",                  kRefused},
      {S::CommandLine, F::AcceptGain, u"1e300",                1e300},
      {S::CommandLine, F::AcceptGain, u"0",                    kRefused},
      {S::CommandLine, F::AcceptGain, u"inf",                  kRefused},
      {S::CommandLine, F::AcceptGain, u"nan",                  kRefused},
      {S::CommandLine, F::Samples,    u"1",                    1},
      {S::CommandLine, F::Samples,    u"10000000",             1e7},
      {S::CommandLine, F::Samples,    u"10000001",             kRefused},
      {S::CommandLine, F::Samples,    u"0",                    kRefused},
      {S::CommandLine, F::Samples,    u"1e3",                  kRefused},
      {S::CommandLine, F::Samples,    u" 5",                   kRefused},
      {S::CommandLine, F::Samples,    u"+5",                   kRefused},
      {S::CommandLine, F::Seed,       u"0",                    0},
      {S::CommandLine, F::Seed,       u"18446744073709551615", 18446744073709551615.0},
      {S::CommandLine, F::Seed,       u"18446744073709551616", kRefused},
      {S::CommandLine, F::Seed,       u"-1",                   kRefused},
      {S::CommandLine, F::Seed,       u"",                     kRefused},
      {S::Box,         F::Pct,        u"0",                    0},     // refused before the rule of 0 %
      {S::Box,         F::Pct,        u"5%",                   5},     // text after the value is ignored
      {S::Box,         F::Pct,        u" 5 ",                  5},
      {S::Box,         F::Pct,        u"50m",                  0.05},
      {S::Box,         F::Pct,        u"1k",                   kRefused},
      {S::Box,         F::Pct,        u"-0.1",                 kRefused},
      {S::Box,         F::Pct,        u"abc",                  kRefused},
      {S::Box,         F::Pct,        u"",                     kRefused},
      {S::Box,         F::AcceptZo,   u"10",                   10},
      {S::Box,         F::AcceptZo,   u"0",                    kRefused},
      {S::Box,         F::AcceptGain, u"1k",                   1000},
      {S::Box,         F::AcceptGain, u"0",                    kRefused},
      {S::Box,         F::AcceptGain, u"1e309",                kRefused},
      {S::Box,         F::Samples,    u"  100 ",               100},
      {S::Box,         F::Samples,    u"1 000",                kRefused},
      {S::Box,         F::Samples,    u"\t5",                  kRefused},  // only U+0020 is trimmed
      {S::Box,         F::Samples,    u"1k",                   kRefused},
      {S::Box,         F::Samples,    u"0",                    kRefused},
      {S::Box,         F::Samples,    u"   ",                  kRefused},
      {S::Box,         F::Seed,       u" 0",                   0},
      {S::Box,         F::Seed,       u"-1",                   kRefused},
  };
  // clang-format on
  const ToleranceSettings before{42.0, Distribution::Normal, 7, 8, 9.0, 3.0};
  for (const Reading& c : cases) {
    SCOPED_TRACE(common::Utf16ToUtf8(c.text) + (c.syntax == S::Box ? " (box)" : " (command line)"));
    ToleranceSettings s = before;
    const bool read = ReadSetting(c.syntax, c.field, c.text, s);
    EXPECT_EQ(read, !std::isnan(c.value)) << static_cast<int>(c.field);
    EXPECT_EQ(ValueOf(s, c.field), read ? c.value : ValueOf(before, c.field));
    for (F other : {F::Pct, F::Samples, F::Seed, F::AcceptZo, F::AcceptGain}) {
      if (other == c.field) continue;
      EXPECT_EQ(ValueOf(s, other), ValueOf(before, other));
    }
    EXPECT_EQ(s.distribution, before.distribution);
  }
}

// Regression: "-0" was taken as it was and shown as "-0" in the tables.
TEST(ReadSetting, MinusZeroPercentIsZero) {
  for (S syntax : {S::CommandLine, S::Box}) {
    for (const char16_t* text : {u"-0", u"-0.0", u"-0e5"}) {
      ToleranceSettings s;
      ASSERT_TRUE(ReadSetting(syntax, F::Pct, text, s));
      EXPECT_EQ(s.pct, 0.0);
      EXPECT_FALSE(std::signbit(s.pct));
    }
  }
}

TEST(ReadSetting, BothSyntaxesAgreeOnPlainDecimals) {
  // A plain decimal number is one value in either syntax, and the same limits
  // decide: the readers share them, whatever else each accepts.
  for (const double x : {0.0, 0.5, 1.0, 5.0, 10.0, 99.0, 99.99, 100.0, 150.0, 1e6, 1e7, 1e7 + 1}) {
    const std::u16string text = common::Utf8ToUtf16(ShortestText(x));
    for (F field : {F::Pct, F::Samples, F::Seed, F::AcceptZo, F::AcceptGain}) {
      ToleranceSettings a, b;
      const bool line = ReadSetting(S::CommandLine, field, text, a);
      const bool box = ReadSetting(S::Box, field, text, b);
      EXPECT_EQ(line, box) << ShortestText(x) << " field " << static_cast<int>(field);
      if (!line || !box) continue;
      EXPECT_EQ(ValueOf(a, field), ValueOf(b, field));
    }
  }
}

// The window's defaults as its boxes show them.
ToleranceBoxTexts DefaultBoxes() { return {u"5", u"100000", u"1", u"10", u"1", Distribution::Normal}; }

TEST(ReadToleranceBoxes, GivesTheSettingsOrTheFirstBadBoxWithItsMessage) {
  const auto good = ReadToleranceBoxes(DefaultBoxes());
  ASSERT_TRUE(std::holds_alternative<ToleranceSettings>(good));
  const ToleranceSettings& s = std::get<ToleranceSettings>(good);
  EXPECT_EQ(s.pct, 5.0);
  EXPECT_EQ(s.distribution, Distribution::Normal);
  EXPECT_EQ(s.samples, 100000u);
  EXPECT_EQ(s.seed, 1u);
  EXPECT_EQ(s.acceptZoPct, 10.0);
  EXPECT_EQ(s.acceptGainDb, 1.0);
  EXPECT_EQ(s.bins, ToleranceSettings{}.bins);

  namespace texts = main::texts;
  const struct {
    std::u16string_view ToleranceBoxTexts::*box;
    F field;
    std::u16string_view message;
  } boxes[] = {{&ToleranceBoxTexts::pct, F::Pct, texts::ExplorerBadTolerance},
               {&ToleranceBoxTexts::samples, F::Samples, texts::ExplorerBadSamples},
               {&ToleranceBoxTexts::seed, F::Seed, texts::ExplorerBadSeed},
               {&ToleranceBoxTexts::acceptZo, F::AcceptZo, texts::ExplorerBadAcceptZo},
               {&ToleranceBoxTexts::acceptGain, F::AcceptGain, texts::ExplorerBadAcceptGain}};
  for (std::size_t i = 0; i < std::size(boxes); ++i) {
    // This box and every later one bad: this one is named.
    ToleranceBoxTexts t = DefaultBoxes();
    for (std::size_t j = i; j < std::size(boxes); ++j) t.*boxes[j].box = u"x";
    const auto bad = ReadToleranceBoxes(t);
    ASSERT_TRUE(std::holds_alternative<BadToleranceBox>(bad)) << i;
    EXPECT_EQ(std::get<BadToleranceBox>(bad).box, boxes[i].field);
    EXPECT_EQ(std::get<BadToleranceBox>(bad).message, boxes[i].message);
  }
  ToleranceBoxTexts zero = DefaultBoxes();
  zero.pct = u"0";
  EXPECT_TRUE(std::holds_alternative<ToleranceSettings>(ReadToleranceBoxes(zero)));
}

TEST(Distribution, NamesReadBackAndNothingElseReads) {
  for (Distribution d : {Distribution::Uniform, Distribution::Normal}) EXPECT_EQ(DistributionNamed(DistributionName(d)), d);
  EXPECT_STREQ(DistributionName(Distribution::Uniform), "uniform");
  EXPECT_STREQ(DistributionName(Distribution::Normal), "normal");
  for (const char* other : {"", "Uniform", "normal ", "gauss", "uniformnormal"}) EXPECT_FALSE(DistributionNamed(other)) << other;
}

}  // namespace
}  // namespace velmora::explore
